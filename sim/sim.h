// SPDX-License-Identifier: GPL-3.0-or-later
// The simulated controller: a protocol engine without I/O and a host that serves it on the
// master side of a pseudo-terminal, in a thread (tests) or in the zep4-sim program.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <set>
#include <string>
#include <vector>

namespace zep4sim {

using Words = std::array<uint16_t, 16>;

// Line and answer sizes.
inline constexpr std::size_t kFrameBytes = 36;    // every request and every frame answer
inline constexpr std::size_t kVersionBytes = 72;  // firmware text answer (order 7)
inline constexpr std::size_t kBlockBytes = 128;   // data block answer (order 9): 64 words
inline constexpr double kByteSeconds = 10.0 / 19200.0; // one 8N1 byte at 19200 baud

// Order codes the controller understands; anything else goes unanswered.
enum Order : int {
    kWriteRam = 1, kReadRam = 2, kWriteEeprom = 3, kReadEeprom = 4, kEcho = 5, kTeach = 6,
    kVersion = 7, kLive = 8, kData64 = 9, kReset = 10, kRefresh = 11, kInfoBlock = 20,
};

// Sets the controller starts with. EEPROM holds the panel defaults:
//   set 0 = {0, 500, 2048, 512, 950, 20, 1, 100, 8, 1, 0, 0, 0, 0, 500, 0}
//   set 1 = {1, 500, 2048, 512, 950, 0, ...}
// RAM differs visibly, so a test sees that a fetch took effect, and its bands lie inside the
// normalised scale 0..1000 where the live values cross them:
//   set 0 = {0, 500, 620, 150, 950, 20, 1, 100, 8, 1, 0, 0, 0, 0, 500, 0}  (refA 620, tolA 150)
//   set 1 = {1, 500, 470, 130, 950, 0, ...}                                 (refB 470, tolB 130)
Words initialRamSet(int set);
Words initialEepromSet(int set);
// Teach makes the controller take refA + kTeachStep (modulo 4096) as its new set-0 reference.
inline constexpr uint16_t kTeachStep = 7;

// Sample `index` (0..127) of a data block curve: channel 0 = A, 1 = B; kind 0 = raw
// (ADC units, within 0..4095), kind 1 = normalised (within 0..1000). Fixed curves.
uint16_t dataSample(int channel, int kind, int index);
// The 16 live words the controller reports for its n-th live request (n = 0, 1, ...),
// with `tolerance` as the reported tolerance value (word 10).
Words liveWords(uint32_t n, uint16_t tolerance);

// A busy sensor: what the live answers report on a line where things happen.
struct Sensor {
    bool inputsEveryAnswer = false; // inputs (word 12) step to their next state with every answer
    double inputsPerSecond = 0;     // else, when > 0, this many steps a second; 0: the quiet pattern
    int valueNoise = 0;             // each live value (words 0..3, 6..9, 13) off by up to this much
    bool operator==(const Sensor&) const = default;
};
// The live words of the n-th live answer, given `seconds` since the controller started, as the
// sensor makes them (a default Sensor gives liveWords(n, tolerance)).
Words liveWords(uint32_t n, uint16_t tolerance, const Sensor& sensor, double seconds);

struct Faults {
    // Faults only touch what the controller says: writes and teach still take effect.
    bool silent = false;              // answer nothing at all
    std::set<int> silentOrders;       // order codes never answered
    int silentAfter = -1;             // give n answers more, then nothing (-1: off)
    int silentFirst = 0;              // leave the next n requests unanswered
    // (silentAfter and silentFirst count from when the faults were set)
    int shortBy = 0;                  // cut this many bytes off the end of every answer
    bool wrongEcho = false;           // echo word 0x00AB instead of 0x00AA (echo, info block)
    int noiseBytes = 0;               // this many noise bytes before every answer
    int hangupAfter = -1;             // close the line after n requests, the n-th still
                                      // answered (-1: off)
    bool firmwareNoZero = false;      // firmware text fills all 72 bytes, no terminating zero
    bool echoHighByte = false;        // echo word 0xAA00: 0xAA in the high byte
    bool otherSet = false;            // a parameter read is answered with the other set,
                                      // word 0 naming it
    int overlongBy = 0;               // this many bytes more after a firmware text or data block
    std::set<int> lateOrders;         // answers to these orders come lateSeconds late ...
    double lateSeconds = 0.0;         // ... on top of the answer delay
    int splitPieces = 1;              // send each answer in this many pieces ...
    double splitPauseSeconds = 0.0;   // ... with this pause between them
    bool operator==(const Faults&) const = default;
};

struct Options {
    bool paced = false;               // bytes take their real time on a 19200-baud 8N1 line
    double answerDelaySeconds = 0.0;  // pause between a complete request and its answer
    int burstBytes = 1;               // paced: answers leave in pieces of this many bytes, each
                                      // when its last byte would have arrived (a UART's FIFO, a
                                      // USB adapter); 36 or more: whole frames
    Sensor sensor;
    Faults faults;
    std::string firmwareText = "ZEP4-SIM Firmware V1.07 (simulated controller)";
    std::string linkPath;             // if set, a symlink to the pty's device is put here
    bool operator==(const Options&) const = default;
};

// zep4-sim's command line (without the program's name) read into options and a log path.
enum class Args { Run, Help, Bad };
Args parseArgs(const std::vector<std::string>& args, Options& o, std::string& logPath, std::string& bad);

// Seconds on the steady clock, the base of Request::time and of the front end's Timer().
double steadySeconds();

// The options a default-made Engine or PtyHost uses.
const Options& defaultOptions();

// One request the controller took in, as it saw it.
struct Request {
    double time;   // seconds (steady clock, same base as the front end's Timer) when complete
    int order;
    Words words;
    bool answerPending = false; // came while an earlier answer was still due or on the line
};

// Protocol engine: bytes in, answer bytes out. Reassembles requests that arrive in pieces.
class Engine {
public:
    Engine();
    explicit Engine(const Options& options);
    struct Exchange {
        Request request;
        std::vector<uint8_t> answer; // empty when the controller stays silent
        double lateBy = 0.0;         // extra pause before the answer (late-answer fault)
        bool hangup = false;         // the controller drops the line after this request
    };
    // Feeds bytes received at `now` (steady seconds); returns the requests they complete, each
    // with its answer. Bytes before a 0x00 0x55 header are skipped; a partial request idle for
    // more than 0.5 s is dropped. Paced: a request's time is 36 byte-times after its first byte.
    std::vector<Exchange> feed(const uint8_t* data, std::size_t n, double now);
    // Bytes held toward the next request (0: the next byte fed may start one).
    std::size_t pending() const;

    Words ramSet(int set) const;
    Words eepromSet(int set) const;
    void setRamSet(int set, const Words& w);
    void setEepromSet(int set, const Words& w);
    Faults faults() const;
    void setFaults(const Faults& f);
    Options options() const;
    void setAnswerDelay(double seconds);
    void setFirmwareText(const std::string& text);

private:
    struct Impl;
    std::shared_ptr<Impl> d;
};

// Serves an Engine on a pseudo-terminal from a background thread.
class PtyHost {
public:
    PtyHost();
    explicit PtyHost(const Options& options);
    ~PtyHost();
    PtyHost(const PtyHost&) = delete;
    PtyHost& operator=(const PtyHost&) = delete;

    bool start();                       // opens the pty and starts serving; false on failure
    void stop();
    std::string devicePath() const;     // slave side, e.g. /dev/pts/7
    std::vector<Request> requests() const;   // every request taken in so far (thread-safe copy)
    void clearRequests();
    Engine& engine();                   // thread-safe: the engine locks itself
    void setFaults(const Faults& f);
    void setAnswerDelay(double seconds);
    // The line was dropped by a hang-up fault: once the last answer has been read from the
    // line (or 0.5 s after it went out), the master closes and nothing more is served.
    bool hungUp() const;
    // Pulls the line out as an unplugged adapter would: the other side sees a hang-up, and
    // the device and the link path go away. The controller keeps its sets and requests.
    void unplug();
    // Plugs it back on a fresh pty, with a symlink at linkPath (empty: the one it had, if any);
    // also after a hang-up fault.
    bool plugIn(const std::string& linkPath = {});

private:
    struct Impl;
    std::unique_ptr<Impl> d;
};

} // namespace zep4sim
