// SPDX-License-Identifier: GPL-3.0-or-later
// The live value set: the 16 words of a live answer, by name.
#include <algorithm>

#include "link/com232.h"
#include "live/live.h"

int32_t valNORMA, valNORMB;
uint16_t adcCHA, adcCHB, Amax, Bmax, MAXvalA, MAXvalB, MINvalA, MINvalB, tolval, btnval, inputs, valDIFF,
    indexA, indexB;

// Word i of a live answer goes to the variable of entry i.
const LiveWord kLiveWords[16] = {
    {"valNORMA", &valNORMA, nullptr}, {"valNORMB", &valNORMB, nullptr}, {"adcCHA", nullptr, &adcCHA},
    {"adcCHB", nullptr, &adcCHB},     {"Amax", nullptr, &Amax},         {"Bmax", nullptr, &Bmax},
    {"MAXvalA", nullptr, &MAXvalA},   {"MAXvalB", nullptr, &MAXvalB},   {"MINvalA", nullptr, &MINvalA},
    {"MINvalB", nullptr, &MINvalB},   {"tolval", nullptr, &tolval},     {"btnval", nullptr, &btnval},
    {"inputs", nullptr, &inputs},     {"valDIFF", nullptr, &valDIFF},   {"indexA", nullptr, &indexA},
    {"indexB", nullptr, &indexB},
};

uint32_t LiveValue(const LiveWord& w) { return w.wide ? static_cast<uint32_t>(*w.wide) : *w.word; }

void DecodeLiveAnswer() {
    // Zero-extended: a normalised value is never negative.
    for (int i = 0; i < PNUM; ++i) {
        const LiveWord& w = kLiveWords[i];
        if (w.wide)
            *w.wide = static_cast<int32_t>(pp[i]);
        else
            *w.word = pp[i];
    }
    // The indices address samples 1..128 of a data block.
    indexA = std::clamp<uint16_t>(indexA, 1, 128);
    indexB = std::clamp<uint16_t>(indexB, 1, 128);
}
