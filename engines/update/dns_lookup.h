// The TXT record of a name through the platform's resolver.
#pragma once
#include <string>

namespace qdx::update {

// The record's first string; empty when there is none or no answer.
std::string lookUpText(const std::string& name);

}  // namespace qdx::update
