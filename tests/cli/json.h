// A minimal JSON reader for checking the program's --json output in tests.
#pragma once
#include <cstdlib>
#include <map>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

namespace qxtest {

struct Json {
    enum Kind { Null, Bool, Number, String, Array, Object } kind = Null;
    double number = 0;
    bool boolean = false;
    std::string text;
    std::vector<Json> items;
    std::map<std::string, Json> fields;

    bool Has(const std::string& key) const { return kind == Object && fields.count(key) != 0; }
    const Json& operator[](const std::string& key) const {
        auto it = fields.find(key);
        if (kind != Object || it == fields.end()) {
            throw std::runtime_error("no field " + key);
        }
        return it->second;
    }
    const Json& operator[](size_t i) const {
        if (kind != Array || i >= items.size()) {
            throw std::runtime_error("no item " + std::to_string(i));
        }
        return items[i];
    }
    long long Int() const { return static_cast<long long>(number); }
    size_t size() const { return kind == Array ? items.size() : fields.size(); }

    static Json Parse(const std::string& s) {
        size_t at = 0;
        Json j = Value(s, at);
        Space(s, at);
        if (at != s.size()) {
            throw std::runtime_error("trailing text at " + std::to_string(at));
        }
        return j;
    }

private:
    static void Space(const std::string& s, size_t& at) {
        while (at < s.size() && (s[at] == ' ' || s[at] == '\n' || s[at] == '\r' || s[at] == '\t')) {
            ++at;
        }
    }
    static void Expect(const std::string& s, size_t& at, char c) {
        Space(s, at);
        if (at >= s.size() || s[at] != c) {
            throw std::runtime_error(std::string("expected ") + c + " at " + std::to_string(at));
        }
        ++at;
    }
    static std::string Str(const std::string& s, size_t& at) {
        Expect(s, at, '"');
        std::string out;
        while (at < s.size() && s[at] != '"') {
            char c = s[at++];
            if (c == '\\' && at < s.size()) {
                char e = s[at++];
                if (e == 'n') {
                    out.push_back('\n');
                } else if (e == 't') {
                    out.push_back('\t');
                } else if (e == 'u' && at + 4 <= s.size()) {
                    out.push_back(static_cast<char>(strtol(s.substr(at, 4).c_str(), nullptr, 16)));
                    at += 4;
                } else {
                    out.push_back(e);
                }
            } else {
                out.push_back(c);
            }
        }
        Expect(s, at, '"');
        return out;
    }
    static Json Value(const std::string& s, size_t& at) {
        Space(s, at);
        Json j;
        if (at >= s.size()) {
            throw std::runtime_error("unexpected end");
        }
        char c = s[at];
        if (c == '{') {
            j.kind = Object;
            ++at;
            Space(s, at);
            if (s[at] == '}') {
                ++at;
                return j;
            }
            for (;;) {
                std::string key = Str(s, at);
                Expect(s, at, ':');
                j.fields[key] = Value(s, at);
                Space(s, at);
                if (s[at] == ',') {
                    ++at;
                    continue;
                }
                Expect(s, at, '}');
                return j;
            }
        }
        if (c == '[') {
            j.kind = Array;
            ++at;
            Space(s, at);
            if (s[at] == ']') {
                ++at;
                return j;
            }
            for (;;) {
                j.items.push_back(Value(s, at));
                Space(s, at);
                if (s[at] == ',') {
                    ++at;
                    continue;
                }
                Expect(s, at, ']');
                return j;
            }
        }
        if (c == '"') {
            j.kind = String;
            j.text = Str(s, at);
            return j;
        }
        if (s.compare(at, 4, "true") == 0 || s.compare(at, 5, "false") == 0) {
            j.kind = Bool;
            j.boolean = s[at] == 't';
            at += j.boolean ? 4 : 5;
            return j;
        }
        if (s.compare(at, 4, "null") == 0) {
            at += 4;
            return j;
        }
        char* end = nullptr;
        j.kind = Number;
        j.number = strtod(s.c_str() + at, &end);
        if (end == s.c_str() + at) {
            throw std::runtime_error("bad value at " + std::to_string(at));
        }
        at = static_cast<size_t>(end - s.c_str());
        return j;
    }
};

} // namespace qxtest
