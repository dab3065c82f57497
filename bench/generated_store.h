#pragma once

#include <random>
#include <string>

#include "store_file.h"

// A store of `entries` entries as users have them: links like the service's, a short note on four
// entries of five. The same count always gives the same bytes.
inline std::string GenerateStore(int entries) {
    static constexpr char kLetters[] =
        "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
    std::mt19937 random(static_cast<unsigned>(entries));
    std::uniform_int_distribution<int> letter(0, sizeof kLetters - 2);
    std::string store;
    store.reserve(static_cast<std::size_t>(entries) * 36);
    for (int i = 0; i < entries; ++i) {
        store += FieldSeparator;
        store += "http://localhost/";
        for (int j = 0; j < 6; ++j) store += kLetters[letter(random)];
        store += FieldSeparator;
        if (i % 5 != 0) store += "note " + std::to_string(i);
    }
    return store;
}
