// Seeded makers of hostile input: reply bodies (envelope and document
// faults), damaged archives, layouts and pictures. The same seed always
// gives the same bytes.
#pragma once

#include <cstdint>
#include <random>
#include <string>

namespace hostile {

class Rng {
public:
    explicit Rng(uint64_t seed) : engine_(seed) {}
    uint32_t Below(uint32_t n) { return n == 0 ? 0 : static_cast<uint32_t>(engine_() % n); }
    bool OneIn(uint32_t n) { return Below(n) == 0; }
    std::string Bytes(size_t n);

private:
    std::mt19937_64 engine_;
};

// The seed of this run: YF_HOSTILE_SEED when set, else a fixed default.
uint64_t RunSeed();

// A reply document's plain text: well formed or not, with members of every
// type, deep nesting, huge numbers and strings, control characters, bytes
// that are not GBK, cut or lone \u escapes.
std::string HostileDocument(Rng& rng);
// A reply body as the envelope reader gets it: mostly a valid cipher of a
// hostile document, otherwise non-hex, odd length, bad padding, cut cipher,
// the plain text itself, empty.
std::string HostileReplyBody(Rng& rng);
// A version page: "lastVersion=" and anything, or anything.
std::string HostileVersionPage(Rng& rng);

// Damaged copies: bytes flipped, cut, runs of 0xFF or zeros put in. Bytes
// before `keep` are left alone.
std::string Mutate(Rng& rng, const std::string& bytes, size_t keep = 0);

// A small valid archive with stored and deflated entries.
std::string SampleZip();
// A small valid layout.
std::string SampleLayout();
std::string HostileLayout(Rng& rng);

}  // namespace hostile
