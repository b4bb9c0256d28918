#pragma once
// Records the yes/no questions a test provokes and answers them in turn
// instead of showing them; "No" once the answers run out.
#include "ui/QuestionBox.h"

#include <string>
#include <vector>

namespace quendix::testing {

struct AskedQuestions {
    std::vector<std::string> texts;
    std::vector<bool> answers;
    ui::QuestionSink previous;
    AskedQuestions()
    {
        previous = ui::setQuestionSink([this](const std::string& t) {
            texts.push_back(t);
            return texts.size() <= answers.size() && answers[texts.size() - 1];
        });
    }
    ~AskedQuestions() { ui::setQuestionSink(previous); }
    AskedQuestions(const AskedQuestions&) = delete;
    AskedQuestions& operator=(const AskedQuestions&) = delete;
};

} // namespace quendix::testing
