// decode, encode and convert: the value codec on bytes given in hex.
#include <algorithm>
#include <cstdio>
#include <iostream>
#include <vector>

#include "codec.h"
#include "commands.h"
#include "cp1252.h"
#include "kinds.h"
#include "paircommit.h"

namespace vmcli {

int fail(const std::string& message, int code) {
    std::cerr << message << '\n';
    return code;
}

void settlePendingCommit(const std::string& file) {
    const vm::CommitRecovery r = vm::recoverPendingCommit(file);
    if (!r.message.empty())
        std::cerr << r.message << '\n';
}

std::optional<int> parseKind(const std::string& text, KindCodes codes) {
    if (auto k = vm::kindFromName(text))
        return k;
    const int limit = codes == KindCodes::AnyByte ? 256 : vm::kKindCount;
    if (auto n = vm::parseInteger(text); n && *n >= 0 && *n < limit)
        return static_cast<int>(*n);
    return std::nullopt;
}

namespace {

std::optional<int> parseLength(const std::string& text) {
    auto n = vm::parseInteger(text);
    if (!n || *n < 0 || *n > 65535)
        return std::nullopt;
    return static_cast<int>(*n);
}

// Strict hex pairs with blanks between them.
std::optional<std::vector<std::uint8_t>> parseHexArg(const std::string& text) {
    std::string digits;
    for (char c : text) {
        if (c == ' ' || c == '\t')
            continue;
        if (!std::isxdigit(static_cast<unsigned char>(c)))
            return std::nullopt;
        digits += c;
    }
    if (digits.size() % 2 != 0)
        return std::nullopt;
    std::vector<std::uint8_t> out(digits.size() / 2);
    vm::parseHexBytes(digits, out);
    return out;
}

std::string hexLine(const std::vector<std::uint8_t>& bytes, std::size_t n) {
    static const char* d = "0123456789ABCDEF";
    std::string s;
    for (std::size_t i = 0; i < n && i < bytes.size(); ++i) {
        if (i)
            s += ' ';
        s += d[bytes[i] >> 4];
        s += d[bytes[i] & 15];
    }
    return s;
}

std::size_t shownSize(int kind, int length) {
    const vm::KindInfo* k = vm::kindInfo(kind);
    const int own = k && !k->variableLength ? k->defaultLength : 0;
    return static_cast<std::size_t>(std::max(length, own));
}

struct KindAndLength {
    int kind = 0;
    int length = 0;
    std::string error; // set when the arguments are not a kind and a length
};

KindAndLength kindAndLength(const std::string& kindArg, const std::string& lengthArg) {
    KindAndLength r;
    const auto kind = parseKind(kindArg);
    const auto length = parseLength(lengthArg);
    if (!kind)
        r.error = "Unknown kind: " + kindArg;
    else if (!length)
        r.error = "Not a length: " + lengthArg;
    else
        r = {*kind, *length, {}};
    return r;
}

} // namespace

int cmdDecode(const Args& a) {
    if (a.size() != 3)
        return fail("Usage: vellomarque-cli decode KIND LENGTH HEX");
    const KindAndLength kl = kindAndLength(a[0], a[1]);
    if (!kl.error.empty())
        return fail(kl.error);
    auto bytes = parseHexArg(a[2]);
    if (!bytes)
        return fail("Not hex byte pairs: " + a[2]);
    // The buffer is at least as long as the value; the rest of it is zero.
    bytes->resize(std::max<std::size_t>(bytes->size(), std::max<std::size_t>(kl.length, 8)), 0);
    std::cout << vm::cp1252ToUtf8(vm::decodeValue(*bytes, kl.kind, kl.length)) << '\n';
    return 0;
}

int cmdEncode(const Args& a) {
    if (a.size() != 3)
        return fail("Usage: vellomarque-cli encode KIND LENGTH TEXT");
    const KindAndLength kl = kindAndLength(a[0], a[1]);
    if (!kl.error.empty())
        return fail(kl.error);
    bool textOk = true;
    const std::string text = vm::utf8ToCp1252(a[2], &textOk);
    if (!textOk)
        return fail("The text has characters that single-byte data cannot hold: " + a[2]);
    const std::size_t n = shownSize(kl.kind, kl.length);
    std::vector<std::uint8_t> buf(std::max<std::size_t>(n, 8), 0);
    const bool ok = vm::encodeValue(text, kl.kind, kl.length, buf);
    std::cout << hexLine(buf, n) << '\n';
    if (!ok)
        return fail("'" + a[2] + "' is not a value of kind " + std::string(vm::kindName(kl.kind)));
    return 0;
}

int cmdConvert(const Args& a) {
    if (a.size() != 5)
        return fail("Usage: vellomarque-cli convert FROMKIND FROMLENGTH TOKIND TOLENGTH HEX");
    const auto fromKind = parseKind(a[0]);
    const auto toKind = parseKind(a[2]);
    if (!fromKind || !toKind)
        return fail("Unknown kind: " + (fromKind ? a[2] : a[0]));
    const auto fromLength = parseLength(a[1]);
    const auto toLength = parseLength(a[3]);
    if (!fromLength || !toLength)
        return fail("Not a length: " + (fromLength ? a[3] : a[1]));
    auto bytes = parseHexArg(a[4]);
    if (!bytes)
        return fail("Not hex byte pairs: " + a[4]);
    const std::size_t n = shownSize(*toKind, *toLength);
    bytes->resize(std::max({bytes->size(), n, static_cast<std::size_t>(*fromLength),
                            std::size_t{8}}),
                  0);
    if (!vm::convertValue(*bytes, *fromKind, *fromLength, *toKind, *toLength))
        return fail("The value cannot be converted to " + std::string(vm::kindName(*toKind)));
    std::cout << hexLine(*bytes, n) << '\n';
    return 0;
}

} // namespace vmcli
