#include "tools/linkctl/options.h"

#include <charconv>

namespace linkctl {
namespace {

// Parses a whole decimal or 0x-hexadecimal integer, with an optional minus.
std::optional<int64_t> ParseInteger(const std::string& text) {
  std::string_view digits = text;
  bool negative = false;
  if (!digits.empty() && digits.front() == '-') {
    negative = true;
    digits.remove_prefix(1);
  }
  int base = 10;
  if (digits.size() > 2 && digits[0] == '0' && (digits[1] == 'x' || digits[1] == 'X')) {
    base = 16;
    digits.remove_prefix(2);
  }
  if (digits.empty()) return std::nullopt;
  uint64_t value = 0;
  auto [end, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), value, base);
  if (ec != std::errc() || end != digits.data() + digits.size()) return std::nullopt;
  if (value > 0xFFFFFFFFull) return std::nullopt;
  return negative ? -static_cast<int64_t>(value) : static_cast<int64_t>(value);
}

}  // namespace

bool Options::Parse(const std::vector<std::string>& args, const std::set<std::string>& valued,
                    const std::set<std::string>& flags) {
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (arg.size() < 2 || arg.compare(0, 2, "--") != 0) {
      positional_.push_back(arg);
      continue;
    }
    const std::string name = arg.substr(2);
    if (flags.count(name)) {
      values_[name] = "";
    } else if (valued.count(name)) {
      if (i + 1 >= args.size()) {
        error_ = "option " + arg + " needs a value";
        return false;
      }
      values_[name] = args[++i];
    } else {
      error_ = "unknown option " + arg;
      return false;
    }
  }
  return true;
}

std::string Options::Text(const std::string& name) const {
  auto it = values_.find(name);
  return it == values_.end() ? std::string() : it->second;
}

std::optional<int32_t> Options::Int(const std::string& name, int32_t fallback) {
  if (!Has(name)) return fallback;
  auto value = ParseInteger(Text(name));
  if (!value || *value < INT32_MIN || *value > INT32_MAX) {
    // Codes are often written in hexadecimal up to 0xFFFFFFFF.
    if (value && *value > INT32_MAX && *value <= 0xFFFFFFFFll) {
      return static_cast<int32_t>(static_cast<uint32_t>(*value));
    }
    error_ = "--" + name + " needs a 32-bit integer, not '" + Text(name) + "'";
    return std::nullopt;
  }
  return static_cast<int32_t>(*value);
}

std::optional<uint32_t> Options::Count(const std::string& name, uint32_t fallback) {
  if (!Has(name)) return fallback;
  auto value = ParseInteger(Text(name));
  if (!value || *value < 0) {
    error_ = "--" + name + " needs a non-negative number, not '" + Text(name) + "'";
    return std::nullopt;
  }
  return static_cast<uint32_t>(*value);
}

}  // namespace linkctl
