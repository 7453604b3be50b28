#include "engine/duplicatekeys.h"

#include <QSet>

#include <cstring>

#include <vector>

namespace {

struct Frame
{
    bool isObject = false;
    bool expectKey = false;
    QSet<QString> keys;
};

int hexValue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

// Reads the string starting at the quote at i; leaves i after the closing
// quote. Returns false on a malformed string.
bool readString(const QByteArray &json, int &i, QString *text)
{
    const int size = json.size();
    QByteArray plain; // UTF-8 runs between escapes
    ++i;
    while (i < size) {
        const char c = json.at(i);
        if (c == '"') {
            *text += QString::fromUtf8(plain);
            ++i;
            return true;
        }
        if (c != '\\') {
            plain += c;
            ++i;
            continue;
        }
        if (i + 1 >= size)
            return false;
        const char e = json.at(i + 1);
        i += 2;
        if (e != 'u') {
            const char *const from = "\"\\/bfnrt";
            const char *const to = "\"\\/\b\f\n\r\t";
            const char *hit = e ? std::strchr(from, e) : nullptr;
            if (!hit)
                return false;
            plain += to[hit - from];
            continue;
        }
        if (i + 4 > size)
            return false;
        int unit = 0;
        for (int k = 0; k < 4; ++k) {
            const int v = hexValue(json.at(i + k));
            if (v < 0)
                return false;
            unit = unit * 16 + v;
        }
        i += 4;
        *text += QString::fromUtf8(plain);
        plain.clear();
        *text += QChar(ushort(unit)); // surrogate halves pair up in the QString
    }
    return false;
}

} // namespace

DuplicateKey findDuplicateKey(const QByteArray &json)
{
    std::vector<Frame> stack;
    const int size = json.size();
    int i = 0;
    while (i < size) {
        const char c = json.at(i);
        switch (c) {
        case '{':
            stack.push_back(Frame {true, true, {}});
            ++i;
            break;
        case '[':
            stack.push_back(Frame {false, false, {}});
            ++i;
            break;
        case '}':
        case ']':
            if (stack.empty())
                return {};
            stack.pop_back();
            ++i;
            break;
        case ',':
            if (!stack.empty() && stack.back().isObject)
                stack.back().expectKey = true;
            ++i;
            break;
        case '"': {
            const int start = i;
            QString text;
            if (!readString(json, i, &text))
                return {};
            if (!stack.empty() && stack.back().isObject && stack.back().expectKey) {
                Frame &object = stack.back();
                object.expectKey = false;
                if (object.keys.contains(text))
                    return {true, text, start};
                object.keys.insert(text);
            }
            break;
        }
        default:
            ++i; // blanks, colons, numbers, literals
            break;
        }
    }
    return {};
}
