#pragma once

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "kinds.h"

// Record files of a known layout, made from a seed: fields whose shape the
// bytes show plainly (a counter, a clock, measurements, text, zero padding),
// in a random order, optionally behind a header.
namespace recordlayouts {

struct TrueField {
    int start = 0;
    int length = 0;
    vm::TypeKind kind{};
};

struct RecordFile {
    std::vector<std::uint8_t> bytes;
    int header = 0;
    int recordLength = 0;
    int records = 0;
    std::vector<TrueField> fields;
};

enum class Shape { Counter, Clock, Float, Double, Short, Text, Padding };

inline RecordFile makeRecordFile(unsigned seed, bool withHeader) {
    std::mt19937 rng(seed);
    auto uniform = [&](double lo, double hi) {
        return std::uniform_real_distribution<double>(lo, hi)(rng);
    };
    std::vector<Shape> shapes;
    const int count = 2 + static_cast<int>(rng() % 5);
    while (static_cast<int>(shapes.size()) < count) {
        const auto s = static_cast<Shape>(rng() % 7);
        // Padding next to padding, or first, shows no boundary; two fields of
        // the same clock make a record of half the length as likely.
        if (s == Shape::Padding && (shapes.empty() || shapes.back() == Shape::Padding))
            continue;
        if (s == Shape::Clock && std::find(shapes.begin(), shapes.end(), s) != shapes.end())
            continue;
        shapes.push_back(s);
    }
    RecordFile f;
    for (const Shape s : shapes) {
        TrueField t{f.recordLength, 0, vm::TypeKind::Unknown};
        switch (s) {
        case Shape::Counter: t.length = 4; t.kind = vm::TypeKind::Unsigned4; break;
        case Shape::Clock: t.length = 8; t.kind = vm::TypeKind::DateTime8; break;
        case Shape::Float: t.length = 4; t.kind = vm::TypeKind::Float4; break;
        case Shape::Double: t.length = 8; t.kind = vm::TypeKind::Double8; break;
        case Shape::Short: t.length = 2; t.kind = vm::TypeKind::Signed2; break;
        case Shape::Text: t.length = 8 + static_cast<int>(rng() % 12); t.kind = vm::TypeKind::String; break;
        case Shape::Padding: t.length = 1 + static_cast<int>(rng() % 4); t.kind = vm::TypeKind::Unknown; break;
        }
        f.recordLength += t.length;
        f.fields.push_back(t);
    }
    if (withHeader) {
        f.header = 20 + static_cast<int>(rng() % 300);
        const char magic[] = "LOGFILE v2";
        for (int i = 0; i < f.header; ++i)
            f.bytes.push_back(i < 10 ? static_cast<std::uint8_t>(magic[i])
                                     : (rng() % 3 ? 0 : static_cast<std::uint8_t>(rng())));
    }
    f.records = 300 + static_cast<int>(rng() % 3000);
    static const char* words[] = {"PUMP", "VALVE", "MOTOR", "SENSOR", "LINE", "NORTH", "SOUTH",
                                  "BERLIN", "OSLO", "LIMA", "TANK", "GATE"};
    const std::uint32_t counterStart = 70000 + rng() % 100000;
    double clock = uniform(44000, 46000);
    for (int r = 0; r < f.records; ++r) {
        std::vector<std::uint8_t> rec(static_cast<std::size_t>(f.recordLength), 0);
        for (std::size_t k = 0; k < shapes.size(); ++k) {
            std::uint8_t* p = rec.data() + f.fields[k].start;
            switch (shapes[k]) {
            case Shape::Counter: {
                const std::uint32_t v = counterStart + static_cast<std::uint32_t>(r);
                std::memcpy(p, &v, 4);
                break;
            }
            case Shape::Clock:
                clock += uniform(0, 0.01);
                std::memcpy(p, &clock, 8);
                break;
            case Shape::Float: {
                const auto v = static_cast<float>(uniform(10, 1000));
                std::memcpy(p, &v, 4);
                break;
            }
            case Shape::Double: {
                const double v = uniform(-50, 50);
                std::memcpy(p, &v, 8);
                break;
            }
            case Shape::Short: {
                const auto v = static_cast<std::int16_t>(uniform(-400, 600));
                std::memcpy(p, &v, 2);
                break;
            }
            case Shape::Text: {
                const int len = f.fields[k].length;
                std::memset(p, ' ', static_cast<std::size_t>(len));
                std::string t = words[rng() % 12];
                if (rng() % 2)
                    t += std::string(" ") + words[rng() % 12];
                std::memcpy(p, t.data(), std::min<std::size_t>(t.size(), static_cast<std::size_t>(len)));
                break;
            }
            case Shape::Padding:
                break;
            }
        }
        f.bytes.insert(f.bytes.end(), rec.begin(), rec.end());
    }
    return f;
}

} // namespace recordlayouts
