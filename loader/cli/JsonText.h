// SPDX-License-Identifier: Apache-2.0
#pragma once
#include <string>
#include <utility>
#include <vector>

// The small JSON that quillon-flash speaks: flat objects of strings, numbers and booleans.

// Appends text as a JSON string. Valid UTF-8 passes through; control characters and bytes
// that are not valid UTF-8 become \u00XX escapes, so the result is valid whatever a unit sent.
void AppendJsonString(std::string& out, const std::string& text);

// Builds one object, keys in the order added.
class CJsonObject {
  public:
    CJsonObject& Add(const char* key, const std::string& value);
    CJsonObject& Add(const char* key, const char* value) { return Add(key, std::string(value)); }
    CJsonObject& Add(const char* key, double value);
    CJsonObject& Add(const char* key, int value);
    CJsonObject& Add(const char* key, unsigned value);
    CJsonObject& AddBool(const char* key, bool value);
    // The object's text, without a line break.
    std::string Text() const { return m_text + "}"; }

  private:
    void Key(const char* key);
    std::string m_text = "{";
};

struct CJsonValue {
    enum class EKind { kString, kNumber, kBool, kNull } kind = EKind::kNull;
    std::string text;  // kString: the unescaped string
    double number = 0;
    bool flag = false;
};
using CJsonFields = std::vector<std::pair<std::string, CJsonValue>>;

// Reads one flat object (no nested objects or arrays). False when the text is not one.
bool ParseJsonObject(const std::string& text, CJsonFields& fields);
// The field of that name, or nullptr.
const CJsonValue* FindJson(const CJsonFields& fields, const char* key);
