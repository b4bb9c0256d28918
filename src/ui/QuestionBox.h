#pragma once
// Yes/No questions to the user, with the application's title as caption.
#include <functional>
#include <string>

namespace quendix::ui {

// True for "Yes". The box closes by itself, as "No", once `stillAsked`
// turns false (the question has become moot); it is asked a few times a
// second while the box is up.
bool askYesNo(const std::string& question, const std::function<bool()>& stillAsked = {});

// Tests put a stand-in in place of the real box; returns the previous one.
using QuestionSink = std::function<bool(const std::string& question)>;
QuestionSink setQuestionSink(QuestionSink sink);

} // namespace quendix::ui
