// SPDX-License-Identifier: Apache-2.0
#include "JsonText.h"

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <tuple>

namespace {

// Length of the valid UTF-8 sequence at p (1 to 4), or 0 when the bytes there are not one.
size_t Utf8Length(const unsigned char* p, size_t left) {
    const unsigned char c = p[0];
    size_t n = 0;
    uint32_t cp = 0;
    if (c >= 0xC2 && c <= 0xDF) {
        n = 2;
        cp = c & 0x1F;
    } else if (c >= 0xE0 && c <= 0xEF) {
        n = 3;
        cp = c & 0x0F;
    } else if (c >= 0xF0 && c <= 0xF4) {
        n = 4;
        cp = c & 0x07;
    } else {
        return 0;
    }
    if (left < n) return 0;
    for (size_t i = 1; i < n; ++i) {
        if ((p[i] & 0xC0) != 0x80) return 0;
        cp = (cp << 6) | (p[i] & 0x3F);
    }
    // Overlong forms, surrogates and values past U+10FFFF are not valid.
    if ((n == 3 && cp < 0x800) || (n == 4 && (cp < 0x10000 || cp > 0x10FFFF)) ||
        (cp >= 0xD800 && cp <= 0xDFFF))
        return 0;
    return n;
}

void AppendEscape(std::string& out, unsigned value) {
    char escape[8];
    std::snprintf(escape, sizeof escape, "\\u%04X", value);
    out += escape;
}

}  // namespace

void AppendJsonString(std::string& out, const std::string& text) {
    out += '"';
    const auto* p = reinterpret_cast<const unsigned char*>(text.data());
    const size_t size = text.size();
    for (size_t i = 0; i < size;) {
        const unsigned char c = p[i];
        if (c == '"' || c == '\\') {
            out += '\\';
            out += static_cast<char>(c);
            ++i;
        } else if (c < 0x20 || c == 0x7F) {
            AppendEscape(out, c);
            ++i;
        } else if (c < 0x80) {
            out += static_cast<char>(c);
            ++i;
        } else if (const size_t n = Utf8Length(p + i, size - i)) {
            out.append(text, i, n);
            i += n;
        } else {
            AppendEscape(out, c);  // a stray byte, read as Latin-1
            ++i;
        }
    }
    out += '"';
}

void CJsonObject::Key(const char* key) {
    if (m_text.size() > 1) m_text += ',';
    AppendJsonString(m_text, key);
    m_text += ':';
}

CJsonObject& CJsonObject::Add(const char* key, const std::string& value) {
    Key(key);
    AppendJsonString(m_text, value);
    return *this;
}

CJsonObject& CJsonObject::Add(const char* key, double value) {
    Key(key);
    char number[32];
    std::snprintf(number, sizeof number, "%.3f", std::isfinite(value) ? value : 0.0);
    m_text += number;
    return *this;
}

CJsonObject& CJsonObject::Add(const char* key, int value) {
    Key(key);
    m_text += std::to_string(value);
    return *this;
}

CJsonObject& CJsonObject::Add(const char* key, unsigned value) {
    Key(key);
    m_text += std::to_string(value);
    return *this;
}

CJsonObject& CJsonObject::AddBool(const char* key, bool value) {
    Key(key);
    m_text += value ? "true" : "false";
    return *this;
}

namespace {

struct CReader {
    const std::string& s;
    size_t at = 0;

    void Blanks() {
        while (at < s.size() && (s[at] == ' ' || s[at] == '\t' || s[at] == '\r' || s[at] == '\n'))
            ++at;
    }
    bool Take(char c) {
        Blanks();
        if (at >= s.size() || s[at] != c) return false;
        ++at;
        return true;
    }
    static void PutUtf8(std::string& out, uint32_t cp) {
        if (cp < 0x80) {
            out += static_cast<char>(cp);
        } else if (cp < 0x800) {
            out += static_cast<char>(0xC0 | (cp >> 6));
            out += static_cast<char>(0x80 | (cp & 0x3F));
        } else {
            out += static_cast<char>(0xE0 | (cp >> 12));
            out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (cp & 0x3F));
        }
    }
    bool String(std::string& out) {
        if (!Take('"')) return false;
        while (at < s.size()) {
            const char c = s[at++];
            if (c == '"') return true;
            if (static_cast<unsigned char>(c) < 0x20) return false;
            if (c != '\\') {
                out += c;
                continue;
            }
            if (at >= s.size()) return false;
            const char e = s[at++];
            switch (e) {
                case '"':
                case '\\':
                case '/':
                    out += e;
                    break;
                case 'b':
                    out += '\b';
                    break;
                case 'f':
                    out += '\f';
                    break;
                case 'n':
                    out += '\n';
                    break;
                case 'r':
                    out += '\r';
                    break;
                case 't':
                    out += '\t';
                    break;
                case 'u': {
                    if (at + 4 > s.size()) return false;
                    uint32_t cp = 0;
                    for (int i = 0; i < 4; ++i) {
                        const char h = s[at++];
                        cp <<= 4;
                        if (h >= '0' && h <= '9')
                            cp |= static_cast<uint32_t>(h - '0');
                        else if (h >= 'a' && h <= 'f')
                            cp |= static_cast<uint32_t>(h - 'a' + 10);
                        else if (h >= 'A' && h <= 'F')
                            cp |= static_cast<uint32_t>(h - 'A' + 10);
                        else
                            return false;
                    }
                    PutUtf8(out, cp);
                    break;
                }
                default:
                    return false;
            }
        }
        return false;
    }
    bool Value(CJsonValue& value) {
        Blanks();
        if (at >= s.size()) return false;
        if (s[at] == '"') {
            value.kind = CJsonValue::EKind::kString;
            return String(value.text);
        }
        for (const auto& [word, kind, flag] :
             {std::tuple{"true", CJsonValue::EKind::kBool, true},
              std::tuple{"false", CJsonValue::EKind::kBool, false},
              std::tuple{"null", CJsonValue::EKind::kNull, false}}) {
            const size_t n = std::strlen(word);
            if (s.compare(at, n, word) == 0) {
                at += n;
                value.kind = kind;
                value.flag = flag;
                return true;
            }
        }
        const char* begin = s.c_str() + at;
        char* end = nullptr;
        value.number = std::strtod(begin, &end);
        if (end == begin || !(s[at] == '-' || (s[at] >= '0' && s[at] <= '9'))) return false;
        at += static_cast<size_t>(end - begin);
        value.kind = CJsonValue::EKind::kNumber;
        return true;
    }
};

}  // namespace

bool ParseJsonObject(const std::string& text, CJsonFields& fields) {
    CReader r{text};
    fields.clear();
    if (!r.Take('{')) return false;
    if (!r.Take('}')) {
        do {
            std::string key;
            CJsonValue value;
            if (!r.String(key) || !r.Take(':') || !r.Value(value)) return false;
            fields.emplace_back(std::move(key), std::move(value));
        } while (r.Take(','));
        if (!r.Take('}')) return false;
    }
    r.Blanks();
    return r.at == text.size();
}

const CJsonValue* FindJson(const CJsonFields& fields, const char* key) {
    for (const auto& [name, value] : fields)
        if (name == key) return &value;
    return nullptr;
}
