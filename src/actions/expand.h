// Environment references in a text, expanded from a lookup.
#pragma once

#include <functional>
#include <string>

namespace qm {

// The value of an environment variable, by name; false when it has none.
using VariableLookup = std::function<bool(const std::string& name, std::string& value)>;

// |text| with every %NAME% that |lookup| knows replaced by its value, as
// ExpandEnvironmentStrings does; a reference to an unknown name stays as
// written.
std::string ExpandWith(const std::string& text, const VariableLookup& lookup);

}  // namespace qm
