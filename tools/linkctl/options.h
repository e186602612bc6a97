// Command-line options of linkctl: "--name value" pairs and flags after the
// subcommand, with strict number parsing and clear messages.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

namespace linkctl {

class Options {
 public:
  // Parses args; `valued` names take a value, `flags` do not. Any other
  // argument starting with "--" is an error; the rest are positional.
  bool Parse(const std::vector<std::string>& args, const std::set<std::string>& valued,
             const std::set<std::string>& flags);

  bool Has(const std::string& name) const { return values_.count(name) != 0; }
  std::string Text(const std::string& name) const;
  // The option as a 32-bit integer (decimal, or hexadecimal with 0x); sets
  // the error and returns nullopt when it is not one.
  std::optional<int32_t> Int(const std::string& name, int32_t fallback);
  std::optional<uint32_t> Count(const std::string& name, uint32_t fallback);

  const std::vector<std::string>& Positional() const { return positional_; }
  const std::string& Error() const { return error_; }

 private:
  std::map<std::string, std::string> values_;
  std::vector<std::string> positional_;
  std::string error_;
};

}  // namespace linkctl
