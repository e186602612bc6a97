// String utilities.
//
// The formatter writes into a bounded buffer the way the original wide
// printf does with truncation allowed: at most capacity - 1 characters plus a
// terminator, and the result -1 when the text did not fit. FormatString then
// doubles the capacity and formats again, so a text of L characters comes out
// of the first buffer whose capacity exceeds L. A malformed format is a
// separate result that ends the operation without touching the target.
#include "support/string_util.h"

#include <climits>
#include <cstring>
#include <memory>
#include <utility>

#include "platform/code_page.h"

namespace ztn {
namespace {

constexpr size_t kInitialFormatCapacity = 256;
constexpr long kTruncated = -1;
constexpr long kMalformed = -2;

thread_local int lastFormatAttempts = 0;

std::u16string_view UpToNul(std::u16string_view text) {
  const size_t nul = text.find(u'\0');
  return nul == std::u16string_view::npos ? text : text.substr(0, nul);
}

std::string_view UpToNul(std::string_view text) {
  const size_t nul = text.find('\0');
  return nul == std::string_view::npos ? text : text.substr(0, nul);
}

// White space for trimming: the Unicode white-space characters that the wide
// classification reports, without carriage return and line feed.
bool IsTrimSpace(char16_t c) {
  switch (c) {
    case u'\t': case u'\v': case u'\f': case u' ':
    case 0x0085: case 0x00A0: case 0x1680: case 0x2028: case 0x2029:
    case 0x202F: case 0x205F: case 0x3000:
      return true;
    default:
      return c >= 0x2000 && c <= 0x200A;
  }
}

char16_t FoldAscii(char16_t c) { return (c >= u'A' && c <= u'Z') ? static_cast<char16_t>(c + 32) : c; }

// ---- formatter ----

class BoundedSink {
 public:
  BoundedSink(char16_t* buffer, size_t capacity) : buffer_(buffer), capacity_(capacity) {}
  void Put(char16_t c) {
    if (length_ + 1 < capacity_) {
      buffer_[length_++] = c;
    } else {
      truncated_ = true;
    }
  }
  void Repeat(char16_t c, size_t count) {
    for (size_t i = 0; i < count && !truncated_; ++i) Put(c);
  }
  bool truncated() const { return truncated_; }
  size_t length() const { return length_; }

 private:
  char16_t* buffer_;
  size_t capacity_;
  size_t length_ = 0;
  bool truncated_ = false;
};

struct ArgList {
  va_list list;
};

enum class Length { None, Short, Long, LongLong };

struct ConversionSpec {
  bool left = false;
  bool plus = false;
  bool space = false;
  bool alternate = false;
  bool zero = false;
  size_t width = 0;
  long precision = -1;  // -1: none given
  Length length = Length::None;
};

void PutPadded(BoundedSink& sink, const ConversionSpec& spec, std::u16string_view body) {
  const size_t pad = spec.width > body.size() ? spec.width - body.size() : 0;
  if (!spec.left) sink.Repeat(u' ', pad);
  for (char16_t c : body) {
    if (sink.truncated()) break;
    sink.Put(c);
  }
  if (spec.left) sink.Repeat(u' ', pad);
}

void PutInteger(BoundedSink& sink, const ConversionSpec& spec, uint64_t magnitude, bool negative,
                bool isSigned, unsigned base, bool upper) {
  const char16_t* digitSet = upper ? u"0123456789ABCDEF" : u"0123456789abcdef";
  char16_t digits[24];
  size_t count = 0;
  for (uint64_t v = magnitude; v != 0; v /= base) digits[count++] = digitSet[v % base];

  std::u16string_view prefix;
  if (negative) {
    prefix = u"-";
  } else if (isSigned && spec.plus) {
    prefix = u"+";
  } else if (isSigned && spec.space) {
    prefix = u" ";
  } else if (spec.alternate && base == 16 && magnitude != 0) {
    prefix = upper ? u"0X" : u"0x";
  }

  // Precision is the minimum number of digits; precision 0 prints 0 as nothing.
  const size_t minDigits = spec.precision >= 0 ? static_cast<size_t>(spec.precision) : 1;
  size_t zeros = minDigits > count ? minDigits - count : 0;
  size_t total = prefix.size() + zeros + count;
  if (spec.zero && !spec.left && spec.precision < 0 && spec.width > total) {
    zeros += spec.width - total;
    total = spec.width;
  }
  const size_t pad = spec.width > total ? spec.width - total : 0;

  if (!spec.left) sink.Repeat(u' ', pad);
  for (char16_t c : prefix) sink.Put(c);
  sink.Repeat(u'0', zeros);
  while (count > 0 && !sink.truncated()) sink.Put(digits[--count]);
  if (spec.left) sink.Repeat(u' ', pad);
}

// Reads a decimal number; false when it does not fit in an int.
bool ReadNumber(const char16_t*& p, size_t* value) {
  uint64_t n = 0;
  while (*p >= u'0' && *p <= u'9') {
    n = n * 10 + static_cast<uint64_t>(*p - u'0');
    if (n > static_cast<uint64_t>(INT_MAX)) return false;
    ++p;
  }
  *value = static_cast<size_t>(n);
  return true;
}

// Formats into the sink. Returns the length, kTruncated or kMalformed.
long FormatInto(BoundedSink& sink, const char16_t* format, ArgList& args) {
  for (const char16_t* p = format; *p != u'\0';) {
    if (*p != u'%') {
      sink.Put(*p++);
      continue;
    }
    ++p;
    ConversionSpec spec;
    for (;; ++p) {
      if (*p == u'-') spec.left = true;
      else if (*p == u'+') spec.plus = true;
      else if (*p == u' ') spec.space = true;
      else if (*p == u'#') spec.alternate = true;
      else if (*p == u'0') spec.zero = true;
      else break;
    }
    if (*p == u'*') {
      const int w = va_arg(args.list, int);
      if (w == INT_MIN) return kMalformed;
      if (w < 0) spec.left = true;
      spec.width = static_cast<size_t>(w < 0 ? -w : w);
      ++p;
    } else if (!ReadNumber(p, &spec.width)) {
      return kMalformed;
    }
    if (*p == u'.') {
      ++p;
      if (*p == u'*') {
        const int v = va_arg(args.list, int);
        spec.precision = v < 0 ? -1 : v;
        ++p;
      } else {
        size_t v = 0;
        if (!ReadNumber(p, &v)) return kMalformed;
        spec.precision = static_cast<long>(v);
      }
    }
    if (*p == u'h') {
      spec.length = Length::Short;
      ++p;
    } else if (*p == u'l' && p[1] == u'l') {
      spec.length = Length::LongLong;
      p += 2;
    } else if (*p == u'l' || *p == u'w') {
      spec.length = Length::Long;
      ++p;
    }

    switch (*p) {
      case u'%':
        sink.Put(u'%');
        break;
      case u'd':
      case u'i': {
        int64_t v = 0;
        switch (spec.length) {
          case Length::None: v = va_arg(args.list, int); break;
          case Length::Short: v = static_cast<short>(va_arg(args.list, int)); break;
          case Length::Long: v = va_arg(args.list, int32_t); break;
          case Length::LongLong: v = va_arg(args.list, long long); break;
        }
        const uint64_t magnitude = v < 0 ? 0 - static_cast<uint64_t>(v) : static_cast<uint64_t>(v);
        PutInteger(sink, spec, magnitude, v < 0, true, 10, false);
        break;
      }
      case u'u':
      case u'x':
      case u'X': {
        uint64_t v = 0;
        switch (spec.length) {
          case Length::None: v = va_arg(args.list, unsigned); break;
          case Length::Short: v = static_cast<unsigned short>(va_arg(args.list, unsigned)); break;
          case Length::Long: v = va_arg(args.list, uint32_t); break;
          case Length::LongLong: v = va_arg(args.list, unsigned long long); break;
        }
        PutInteger(sink, spec, v, false, false, *p == u'u' ? 10 : 16, *p == u'X');
        break;
      }
      case u'c': {
        const int v = va_arg(args.list, int);
        const char16_t unit = spec.length == Length::Short
                                  ? static_cast<char16_t>(static_cast<unsigned char>(v))
                                  : static_cast<char16_t>(v);
        PutPadded(sink, spec, std::u16string_view(&unit, 1));
        break;
      }
      case u's': {
        if (spec.length == Length::Short) {
          const char* text = va_arg(args.list, const char*);
          if (text == nullptr) text = "(null)";
          size_t bytes = 0;
          while ((spec.precision < 0 || bytes < static_cast<size_t>(spec.precision)) &&
                 text[bytes] != '\0') {
            ++bytes;
          }
          const std::u16string wide = platform::AnsiToWideText(std::string_view(text, bytes));
          PutPadded(sink, spec, wide);
        } else {
          const char16_t* text = va_arg(args.list, const char16_t*);
          if (text == nullptr) text = u"(null)";
          size_t units = 0;
          while ((spec.precision < 0 || units < static_cast<size_t>(spec.precision)) &&
                 text[units] != u'\0') {
            ++units;
          }
          PutPadded(sink, spec, std::u16string_view(text, units));
        }
        break;
      }
      default:  // unknown conversion, %n, or the format ended after '%'
        return kMalformed;
    }
    ++p;
  }
  return sink.truncated() ? kTruncated : static_cast<long>(sink.length());
}

// Runs the doubling loop; true with the text in `out`, false when the format
// is malformed.
bool FormatWithDoubling(const char16_t* format, va_list args, std::u16string_view* out,
                        std::unique_ptr<char16_t[]>* storage) {
  lastFormatAttempts = 0;
  for (size_t capacity = kInitialFormatCapacity;; capacity *= 2) {
    ++lastFormatAttempts;
    auto buffer = std::make_unique<char16_t[]>(capacity + 1);  // zero-filled
    BoundedSink sink(buffer.get(), capacity);
    ArgList copy;
    va_copy(copy.list, args);
    const long result = FormatInto(sink, format, copy);
    va_end(copy.list);
    if (result == kMalformed) return false;
    if (result == kTruncated) continue;
    *out = UpToNul(std::u16string_view(buffer.get(), static_cast<size_t>(result)));
    *storage = std::move(buffer);
    return true;
  }
}

}  // namespace

void WideToAnsi(std::string& target, std::u16string_view source) {
  target = platform::WideToAnsiText(UpToNul(source));
}

void Utf8ToWide(std::u16string& target, std::string_view source) {
  target = platform::Utf8ToWideText(UpToNul(source));
}

void TrimString(std::u16string& text) {
  size_t first = 0;
  while (first < text.size() && IsTrimSpace(text[first])) ++first;
  std::u16string result;
  if (first < text.size()) {
    size_t last = text.size() - 1;
    while (IsTrimSpace(text[last])) --last;  // stops at `first` at the latest
    result.assign(text, first, last - first + 1);
  }
  text.swap(result);
}

void FormatStringV(std::u16string& target, const char16_t* format, va_list args) {
  if (format == nullptr) {
    lastFormatAttempts = 0;
    return;
  }
  std::u16string_view text;
  std::unique_ptr<char16_t[]> storage;
  if (FormatWithDoubling(format, args, &text, &storage)) target.assign(text);
}

void AppendFormatStringV(std::u16string& target, const char16_t* format, va_list args) {
  if (format == nullptr) {
    lastFormatAttempts = 0;
    return;
  }
  std::u16string_view text;
  std::unique_ptr<char16_t[]> storage;
  if (FormatWithDoubling(format, args, &text, &storage)) target.append(text);
}

void FormatString(std::u16string& target, const char16_t* format, ...) {
  va_list args;
  va_start(args, format);
  FormatStringV(target, format, args);
  va_end(args);
}

void AppendFormatString(std::u16string& target, const char16_t* format, ...) {
  va_list args;
  va_start(args, format);
  AppendFormatStringV(target, format, args);
  va_end(args);
}

void ReplaceAll(std::u16string& text, std::u16string_view search,
                std::u16string_view replacement) {
  if (search.empty()) return;  // would match everywhere and never advance
  size_t position = 0;
  while ((position = text.find(search, position)) != std::u16string::npos) {
    text.replace(position, search.size(), replacement);
    position += replacement.size();
  }
}

void ToLowerString(std::u16string& text) {
  for (char16_t& c : text) c = FoldAscii(c);
}

uint32_t HashString(std::u16string_view text) {
  if (text.empty()) return 0;
  uint32_t hash = 5381;
  for (char16_t unit : text) hash = hash * 33u + unit;
  return hash;
}

int CompareNoCase(std::u16string_view a, std::u16string_view b) {
  const size_t common = a.size() < b.size() ? a.size() : b.size();
  for (size_t i = 0; i < common; ++i) {
    const int difference = static_cast<int>(FoldAscii(a[i])) - static_cast<int>(FoldAscii(b[i]));
    if (difference != 0) return difference;
  }
  if (a.size() == b.size()) return 0;
  return a.size() < b.size() ? -1 : 1;
}

namespace detail {
int LastFormatAttemptCount() { return lastFormatAttempts; }
}  // namespace detail

}  // namespace ztn
