// The simulated controller: a protocol engine without I/O and a host that serves it on the
// master side of a pseudo-terminal, in a thread (tests) or in the zep4-sim program.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <set>
#include <string>
#include <vector>

namespace zep4sim {

using Words = std::array<uint16_t, 16>;

struct Faults {
    bool silent = false;              // answer nothing at all
    std::set<int> silentOrders;       // order codes never answered
    int silentAfter = -1;             // answer the first n requests, then nothing (-1: off)
    int shortBy = 0;                  // cut this many bytes off the end of every answer
    bool wrongEcho = false;           // echo word 0x00AB instead of 0x00AA
    int noiseBytes = 0;               // this many noise bytes before every answer
    int hangupAfter = -1;             // close the line after n requests (-1: off)
    bool firmwareNoZero = false;      // firmware text fills all 72 bytes, no terminating zero
    int splitPieces = 1;              // send each answer in this many pieces ...
    double splitPauseSeconds = 0.0;   // ... with this pause between them
};

struct Options {
    bool paced = false;               // bytes take their real time on a 19200-baud 8N1 line
    double answerDelaySeconds = 0.0;  // pause between a complete request and its answer
    Faults faults;
    std::string firmwareText = "ZEP4-SIM Firmware V1.07 (simulated controller)";
    std::string linkPath;             // if set, a symlink to the pty's device is put here
};

// One request the controller took in, as it saw it.
struct Request {
    double time;   // seconds (steady clock, same base as the front end's Timer) when complete
    int order;
    Words words;
};

// Protocol engine: bytes in, answer bytes out. Reassembles requests that arrive in pieces.
class Engine {
public:
    explicit Engine(Options options = {});
    // Feeds received bytes; returns complete requests found (each with its answer in answers).
    struct Exchange {
        Request request;
        std::vector<uint8_t> answer; // empty when the controller stays silent
        bool hangup = false;         // the controller drops the line after this request
    };
    std::vector<Exchange> feed(const uint8_t* data, std::size_t n, double now);

    Words ramSet(int set) const;
    Words eepromSet(int set) const;
    void setRamSet(int set, const Words& w);
    void setEepromSet(int set, const Words& w);
    Faults faults() const;
    void setFaults(const Faults& f);
    Options options() const;
    void setAnswerDelay(double seconds);

private:
    struct Impl;
    std::shared_ptr<Impl> d;
};

// Serves an Engine on a pseudo-terminal from a background thread.
class PtyHost {
public:
    explicit PtyHost(Options options = {});
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
    bool hungUp() const;                // the line was dropped by a hang-up fault

private:
    struct Impl;
    std::unique_ptr<Impl> d;
};

} // namespace zep4sim
