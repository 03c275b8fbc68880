#include "actions/messages.h"

#include "catalogue/system.h"

namespace qm {

std::string ErrorWords(System& system, std::uint32_t error) {
    std::string words = system.ErrorText(error);
    while (!words.empty() && (words.back() == '\n' || words.back() == '\r' || words.back() == ' ')) words.pop_back();
    if (words.empty()) words = text::Fill(text::kUnknownError, std::to_string(error));
    return words;
}

}  // namespace qm
