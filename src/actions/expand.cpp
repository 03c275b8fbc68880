#include "actions/expand.h"

namespace qm {

std::string ExpandWith(const std::string& text, const VariableLookup& lookup) {
    std::string expanded, value;
    for (std::size_t i = 0; i < text.size();) {
        const std::size_t close = text[i] == '%' ? text.find('%', i + 1) : std::string::npos;
        if (close != std::string::npos && close > i + 1 && lookup(text.substr(i + 1, close - i - 1), value)) {
            expanded += value;
            i = close + 1;
        } else {
            expanded += text[i++];
        }
    }
    return expanded;
}

}  // namespace qm
