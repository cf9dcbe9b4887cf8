// SPDX-License-Identifier: GPL-3.0-or-later
// Protocol engine of the simulated controller: reassembles requests, keeps the parameter
// sets, makes live values and data blocks, and applies the configured faults.
#include "sim/sim.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <mutex>

namespace zep4sim {

namespace {

constexpr uint16_t kEchoWord = 0x00AA;
constexpr uint16_t kWrongEchoWord = 0x00AB;
constexpr uint16_t kHighEchoWord = 0xAA00;
constexpr double kStaleSeconds = 0.5;
constexpr double kPi = 3.14159265358979323846;

Words defaultSet(int set) {
    if (set == 0) return {0, 500, 2048, 512, 950, 20, 1, 100, 8, 1, 0, 0, 0, 0, 500, 0};
    return {1, 500, 2048, 512, 950, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};
}

void putWord(std::vector<uint8_t>& out, uint16_t w) {
    out.push_back(static_cast<uint8_t>(w >> 8));
    out.push_back(static_cast<uint8_t>(w & 0xFF));
}

std::vector<uint8_t> frame(int order, const Words& words) {
    std::vector<uint8_t> out;
    out.reserve(kFrameBytes);
    putWord(out, 0x0055);
    putWord(out, static_cast<uint16_t>(order));
    for (uint16_t w : words) putWord(out, w);
    return out;
}

uint16_t clampWord(double v) {
    return static_cast<uint16_t>(std::clamp(std::lround(v), 0L, 65535L));
}

// Word 0 names the set; any non-zero number means set 1, as the front end builds it.
int setIndex(uint16_t w0) { return w0 == 0 ? 0 : 1; }

} // namespace

const Options& defaultOptions() {
    static const Options defaults;
    return defaults;
}

double steadySeconds() {
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

Words initialEepromSet(int set) { return defaultSet(set); }

Words initialRamSet(int set) {
    Words w = defaultSet(set);
    // A band inside the normalised scale, so the live values visibly cross it.
    if (set == 0) {
        w[2] = 620;
        w[3] = 150;
    } else {
        w[2] = 470;
        w[3] = 130;
    }
    return w;
}

uint16_t dataSample(int channel, int kind, int index) {
    double x = 2.0 * kPi * static_cast<double>(index) / 128.0;
    if (kind == 0) {
        return channel == 0 ? clampWord(2048.0 + 1500.0 * std::sin(x))
                            : clampWord(2048.0 + 1200.0 * std::cos(x) + 300.0 * std::sin(3 * x));
    }
    return channel == 0 ? clampWord(550.0 + 350.0 * std::sin(x))
                        : clampWord(450.0 + 300.0 * std::cos(x) + 80.0 * std::sin(3 * x));
}

Words liveWords(uint32_t n, uint16_t tolerance) { return liveWords(n, tolerance, Sensor{}, 0.0); }

Words liveWords(uint32_t n, uint16_t tolerance, const Sensor& sensor, double seconds) {
    // In this order every step changes at least one of the two input bits.
    static const uint16_t inputSteps[4] = {0x0000, 0x0001, 0x0100, 0x0101};
    // Noise from the answer's number alone: the same n always gives the same words.
    uint32_t h = n * 2654435761u + 0x9E3779B9u;
    auto noise = [&] {
        if (sensor.valueNoise <= 0) return 0.0;
        h ^= h >> 15, h *= 0x2C1B3C6Du, h ^= h >> 12;
        return static_cast<double>(h % (2u * static_cast<uint32_t>(sensor.valueNoise) + 1u)) - sensor.valueNoise;
    };
    double t = static_cast<double>(n);
    double a = 600.0 + 250.0 * std::sin(t * 0.05) + noise();        // 350..850
    double b = 450.0 + 200.0 * std::sin(t * 0.037 + 1.0) + noise(); // 250..650
    constexpr uint16_t amax = 3500, bmax = 3300;
    Words w{};
    w[0] = clampWord(a);                           // valNORMA
    w[1] = clampWord(b);                           // valNORMB
    w[2] = clampWord(a * amax / 1000.0);           // adcCHA
    w[3] = clampWord(b * bmax / 1000.0);           // adcCHB
    w[4] = amax;                                   // Amax
    w[5] = bmax;                                   // Bmax
    w[6] = clampWord(a + 40.0);                    // MAXvalA
    w[7] = clampWord(b + 30.0);                    // MAXvalB
    w[8] = clampWord(a - 40.0);                    // MINvalA
    w[9] = clampWord(b - 30.0);                    // MINvalB
    w[10] = tolerance;                             // tolval
    w[11] = static_cast<uint16_t>((n / 50) % 2);   // btnval
    const uint64_t step = sensor.inputsEveryAnswer     ? n
                          : sensor.inputsPerSecond > 0 ? static_cast<uint64_t>(std::max(0.0, seconds) * sensor.inputsPerSecond)
                                                       : n / 20;
    w[12] = inputSteps[step % 4];                  // inputs
    w[13] = clampWord(std::fabs(a - b));           // valDIFF
    w[14] = static_cast<uint16_t>(1 + n % 128);            // indexA
    w[15] = static_cast<uint16_t>(1 + (n * 3 + 64) % 128); // indexB
    return w;
}

struct Engine::Impl {
    mutable std::mutex mutex;
    Options options;
    Words ram[2];
    Words eeprom[2];
    std::vector<uint8_t> rx;   // bytes of the request being assembled, starting at its header
    double firstByteTime = 0;  // when rx[0] arrived
    double lastByteTime = 0;
    uint32_t liveCount = 0;
    int requestCount = 0;
    int faultsSetAt = 0;       // requestCount and answerCount when the faults were last set
    int answersAtFaults = 0;
    int answerCount = 0;
    uint32_t noiseState = 0x2545F491u;
    double startTime = steadySeconds(); // the sensor's clock

    uint8_t noiseByte() {
        noiseState = noiseState * 1664525u + 1013904223u;
        return static_cast<uint8_t>(noiseState >> 24);
    }

    std::vector<uint8_t> answerFor(int order, const Words& in);
    Exchange take(double now);
};

std::vector<uint8_t> Engine::Impl::answerFor(int order, const Words& in) {
    const Faults& f = options.faults;
    switch (order) {
    case kWriteRam:
    case kWriteEeprom: {
        Words& set = (order == kWriteRam ? ram : eeprom)[setIndex(in[0])];
        std::copy(in.begin() + 1, in.end(), set.begin() + 1);
        return frame(order, set);
    }
    case kReadRam:
    case kReadEeprom: {
        const int set = f.otherSet ? 1 - setIndex(in[0]) : setIndex(in[0]);
        return frame(order, (order == kReadRam ? ram : eeprom)[set]);
    }
    case kEcho:
    case kInfoBlock: {
        Words w{};
        w[0] = f.wrongEcho ? kWrongEchoWord : f.echoHighByte ? kHighEchoWord : kEchoWord;
        return frame(order, w);
    }
    case kTeach:
        ram[0][2] = static_cast<uint16_t>((ram[0][2] + kTeachStep) % 4096);
        return frame(order, ram[0]);
    case kReset:
    case kRefresh:
        return frame(order, ram[0]);
    case kVersion: {
        std::vector<uint8_t> out(kVersionBytes, 0);
        const std::string& text = options.firmwareText;
        if (f.firmwareNoZero) {
            // The text over and over, so no byte of the 72 is zero.
            std::string fill = text.empty() ? std::string("X") : text + ' ';
            for (std::size_t i = 0; i < out.size(); ++i) {
                char c = fill[i % fill.size()];
                out[i] = c == '\0' ? ' ' : static_cast<uint8_t>(c);
            }
        } else {
            std::size_t n = std::min(text.size(), kVersionBytes - 1);
            std::copy(text.begin(), text.begin() + static_cast<std::ptrdiff_t>(n), out.begin());
        }
        out.resize(out.size() + static_cast<std::size_t>(std::max(0, f.overlongBy)), ' ');
        return out;
    }
    case kLive:
        return frame(order, liveWords(liveCount++, ram[0][3], options.sensor, steadySeconds() - startTime));
    case kData64: {
        std::vector<uint8_t> out;
        out.reserve(kBlockBytes);
        int start = in[0];
        int kind = in[1] == 0 ? 0 : 1;
        bool known = start == 0 || start == 64 || start == 128 || start == 192;
        int channel = start >= 128 ? 1 : 0;
        for (int i = 0; i < 64; ++i)
            putWord(out, known ? dataSample(channel, kind, start % 128 + i) : 0);
        out.resize(out.size() + static_cast<std::size_t>(std::max(0, f.overlongBy)), 0x11);
        return out;
    }
    default:
        return {};
    }
}

Engine::Exchange Engine::Impl::take(double now) {
    Exchange ex;
    ex.request.time = now;
    ex.request.order = (rx[2] << 8) | rx[3];
    for (std::size_t i = 0; i < 16; ++i)
        ex.request.words[i] = static_cast<uint16_t>((rx[4 + 2 * i] << 8) | rx[5 + 2 * i]);
    rx.erase(rx.begin(), rx.begin() + kFrameBytes);
    ++requestCount;

    const Faults& f = options.faults;
    // The controller still acts on what it hears; the faults only touch what it says.
    std::vector<uint8_t> answer = answerFor(ex.request.order, ex.request.words);
    bool mute = f.silent || f.silentOrders.count(ex.request.order) > 0 || requestCount - faultsSetAt <= f.silentFirst ||
                (f.silentAfter >= 0 && answerCount - answersAtFaults >= f.silentAfter);
    if (!answer.empty() && !mute) {
        ++answerCount;
        std::size_t cut = static_cast<std::size_t>(std::max(0, f.shortBy));
        answer.resize(answer.size() > cut ? answer.size() - cut : 0);
        for (int i = 0; i < f.noiseBytes; ++i) ex.answer.push_back(noiseByte());
        ex.answer.insert(ex.answer.end(), answer.begin(), answer.end());
        if (f.lateOrders.count(ex.request.order) > 0) ex.lateBy = std::max(0.0, f.lateSeconds);
    }
    ex.hangup = f.hangupAfter >= 0 && requestCount >= f.hangupAfter;
    return ex;
}

Engine::Engine() : Engine(defaultOptions()) {}

Engine::Engine(const Options& options) : d(std::make_shared<Impl>()) {
    d->options = options;
    for (int s = 0; s < 2; ++s) {
        d->ram[s] = initialRamSet(s);
        d->eeprom[s] = initialEepromSet(s);
    }
}

std::vector<Engine::Exchange> Engine::feed(const uint8_t* data, std::size_t n, double now) {
    std::lock_guard lock(d->mutex);
    std::vector<Exchange> out;
    auto& rx = d->rx;
    // The front end writes a request in one go: a piece left lying this long was a torn
    // request, and must not swallow the head of the next one.
    if (!rx.empty() && now - d->lastByteTime > kStaleSeconds) rx.clear();
    if (n > 0) d->lastByteTime = now;
    for (std::size_t i = 0; i < n; ++i) {
        uint8_t b = data[i];
        // Resynchronise: a request only starts at 0x00 0x55.
        if (rx.empty()) {
            if (b == 0x00) {
                rx.push_back(b);
                d->firstByteTime = now;
            }
            continue;
        }
        if (rx.size() == 1) {
            if (b == 0x55) rx.push_back(b);
            else if (b != 0x00) rx.clear();
            continue;
        }
        rx.push_back(b);
        if (rx.size() == kFrameBytes) {
            // On a real line the request is complete 36 byte-times after its first byte.
            double done = d->options.paced
                              ? std::max(now, d->firstByteTime + kFrameBytes * kByteSeconds)
                              : now;
            out.push_back(d->take(done));
        }
    }
    return out;
}

std::size_t Engine::pending() const {
    std::lock_guard lock(d->mutex);
    return d->rx.size();
}

Words Engine::ramSet(int set) const {
    std::lock_guard lock(d->mutex);
    return d->ram[set == 0 ? 0 : 1];
}

Words Engine::eepromSet(int set) const {
    std::lock_guard lock(d->mutex);
    return d->eeprom[set == 0 ? 0 : 1];
}

void Engine::setRamSet(int set, const Words& w) {
    std::lock_guard lock(d->mutex);
    d->ram[set == 0 ? 0 : 1] = w;
}

void Engine::setEepromSet(int set, const Words& w) {
    std::lock_guard lock(d->mutex);
    d->eeprom[set == 0 ? 0 : 1] = w;
}

Faults Engine::faults() const {
    std::lock_guard lock(d->mutex);
    return d->options.faults;
}

void Engine::setFaults(const Faults& f) {
    std::lock_guard lock(d->mutex);
    d->options.faults = f;
    d->faultsSetAt = d->requestCount;
    d->answersAtFaults = d->answerCount;
}

Options Engine::options() const {
    std::lock_guard lock(d->mutex);
    return d->options;
}

void Engine::setAnswerDelay(double seconds) {
    std::lock_guard lock(d->mutex);
    d->options.answerDelaySeconds = std::max(0.0, seconds);
}

void Engine::setFirmwareText(const std::string& text) {
    std::lock_guard lock(d->mutex);
    d->options.firmwareText = text;
}

} // namespace zep4sim
