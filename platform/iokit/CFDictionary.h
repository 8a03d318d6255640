#pragma once

#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <variant>

// A mutable dictionary of texts and nested dictionaries, shared by reference
// count: whoever holds a reference keeps it alive, and "consuming" a reference
// means taking the pointer over.
class CFDictionary;
using CFMutableDictionaryRef = std::shared_ptr<CFDictionary>;

class CFDictionary {
  public:
    using Value = std::variant<std::string, CFMutableDictionaryRef>;

    void setValue(std::string key, Value value) { values_[std::move(key)] = std::move(value); }
    const Value* value(std::string_view key) const;
    std::optional<std::string> text(std::string_view key) const;
    CFMutableDictionaryRef dictionary(std::string_view key) const;
    std::size_t count() const { return values_.size(); }
    const std::map<std::string, Value, std::less<>>& entries() const { return values_; }

  private:
    std::map<std::string, Value, std::less<>> values_;
};

CFMutableDictionaryRef CFDictionaryCreateMutable();
void CFDictionarySetValue(const CFMutableDictionaryRef& dictionary, std::string key,
                          CFDictionary::Value value);
