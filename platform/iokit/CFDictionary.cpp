#include "platform/iokit/CFDictionary.h"

const CFDictionary::Value* CFDictionary::value(std::string_view key) const {
    const auto found = values_.find(key);
    return found == values_.end() ? nullptr : &found->second;
}

std::optional<std::string> CFDictionary::text(std::string_view key) const {
    const Value* found = value(key);
    if (found == nullptr || !std::holds_alternative<std::string>(*found)) {
        return std::nullopt;
    }
    return std::get<std::string>(*found);
}

CFMutableDictionaryRef CFDictionary::dictionary(std::string_view key) const {
    const Value* found = value(key);
    if (found == nullptr || !std::holds_alternative<CFMutableDictionaryRef>(*found)) {
        return nullptr;
    }
    return std::get<CFMutableDictionaryRef>(*found);
}

CFMutableDictionaryRef CFDictionaryCreateMutable() {
    return std::make_shared<CFDictionary>();
}

void CFDictionarySetValue(const CFMutableDictionaryRef& dictionary, std::string key,
                          CFDictionary::Value value) {
    dictionary->setValue(std::move(key), std::move(value));
}
