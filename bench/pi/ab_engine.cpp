// Two builds of the engine in one process, each loaded from its own shared
// library (dlopen, local symbols), and one routine of each called in turn,
// the side that goes first alternating from round to round:
//   ab_engine <before.so> <after.so> <routine> <rounds>
// routine: run (whole runs), square (hp_square of 2^21 + 2 words), carry
// (hp_from_convolution of a 2^21 transform), load (hp_load_transform of
// 2^20 + 1 words), words (hp_add and hp_sub of 2^21 + 2 words) or spectrum
// (fft_spectrum_mul of two 2^21 spectra).
// Prints the median time of each side and the median of the per-round
// ratios after / before. Exit status 2 when the outputs differ, 1 on error.
#include <dlfcn.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <random>
#include <string>
#include <vector>

#include "engine/benchmark.h"
#include "engine/hp_number.h"

namespace {

// The routines under their C++ symbol names.
struct Engine {
    HpNumber* (*alloc)(int32_t);
    void (*add)(int32_t, uint32_t, const HpNumber*, const HpNumber*, HpNumber*);
    void (*sub)(int32_t, uint32_t, const HpNumber*, const HpNumber*, HpNumber*);
    void (*load)(int32_t, uint32_t, const HpNumber*, int32_t, int32_t, double*);
    void (*convolution)(int32_t, uint32_t, int32_t, double*, HpNumber*);
    void (*square)(int32_t, uint32_t, const HpNumber*, HpNumber*, int32_t, double*);
    void (*spectrum_mul)(int32_t, double*, double*);
    void (*run)(BenchmarkResult*, const BenchmarkProgress*);
};

template <class F>
void find(void* library, const char* name, F* f) {
    *f = reinterpret_cast<F>(dlsym(library, name));
    if (*f == nullptr) {
        std::fprintf(stderr, "ab_engine: %s\n", dlerror());
        std::exit(1);
    }
}

Engine open_engine(const char* path) {
    void* library = dlopen(path, RTLD_NOW | RTLD_LOCAL);
    if (library == nullptr) {
        std::fprintf(stderr, "ab_engine: %s\n", dlerror());
        std::exit(1);
    }
    Engine e;
    find(library, "_Z8hp_alloci", &e.alloc);
    find(library, "_Z6hp_addijPK8HpNumberS1_PS_", &e.add);
    find(library, "_Z6hp_subijPK8HpNumberS1_PS_", &e.sub);
    find(library, "_Z17hp_load_transformijPK8HpNumberiiPd", &e.load);
    find(library, "_Z19hp_from_convolutionijiPdP8HpNumber", &e.convolution);
    find(library, "_Z9hp_squareijPK8HpNumberPS_iPd", &e.square);
    find(library, "_Z16fft_spectrum_muliPdS_", &e.spectrum_mul);
    find(library, "_Z16pi_benchmark_runP15BenchmarkResultPK17BenchmarkProgress", &e.run);
    return e;
}

double thread_seconds() {
    timespec t;
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + 1e-9 * static_cast<double>(t.tv_nsec);
}

uint64_t fnv(uint64_t h, const void* data, size_t bytes) {
    const unsigned char* p = static_cast<const unsigned char*>(data);
    for (size_t i = 0; i < bytes; ++i) h = (h ^ p[i]) * 0x100000001b3u;
    return h;
}

double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

constexpr int32_t nfft = 1 << 21;
constexpr int32_t words = nfft + 2;
constexpr uint32_t R = 10000;

// The operands and the product buffers, shared by both sides, and one
// result per side. The calls take the three buffers in turn, and each call
// is followed by a pass over the buffer of the call after next, so that
// every call meets its buffer in the same state whichever side makes it:
// last touched two calls before, neither fresh nor cold, as in a run.
struct Workload {
    std::mt19937_64 random{20261208};
    HpNumber *a, *b, *out[2];
    std::vector<double> convolution, spectra[2];
    double* buffers[3];
    int64_t calls = 0;

    explicit Workload(const Engine& e) : a(e.alloc(words)), b(e.alloc(words)) {
        for (HpNumber* x : {a, b}) {
            for (int32_t i = 0; i < words; ++i) x->words[i] = static_cast<int16_t>(random() % R);
            x->sign = 1;
            x->exponent = 0;
        }
        a->words[0] = 3;
        b->words[0] = 2;
        out[0] = e.alloc(words);
        out[1] = e.alloc(words);
        // Integers times nfft/2, as a backward transform leaves them, of
        // the size a run's products reach.
        convolution.resize(nfft + 2);
        for (double& v : convolution) {
            v = static_cast<double>(static_cast<int64_t>(random() % (uint64_t{1} << 41)) - (int64_t{1} << 40)) *
                (nfft / 2);
        }
        convolution[0] = 0.0;
        convolution[nfft + 1] = 3.0;
        std::uniform_real_distribution<double> value(-1e9, 1e9);
        for (std::vector<double>& spectrum : spectra) {
            spectrum.resize(nfft + 2);
            for (double& v : spectrum) v = value(random);
        }
        for (double*& buffer : buffers) {
            // Element 1 (the transform) on a cache line, as a run lays it.
            void* block = std::aligned_alloc(64, (nfft + 16) * sizeof(double));
            std::memset(block, 0, (nfft + 16) * sizeof(double));
            buffer = static_cast<double*>(block) + 7;
        }
    }
};

enum class Routine { run, square, carry, load, words, spectrum };

// The routine named, or false.
bool parse_routine(const std::string& name, Routine* routine) {
    static const struct {
        const char* name;
        Routine routine;
    } names[] = {{"run", Routine::run},
                 {"square", Routine::square},
                 {"carry", Routine::carry},
                 {"load", Routine::load},
                 {"words", Routine::words},
                 {"spectrum", Routine::spectrum}};
    for (const auto& n : names) {
        if (name == n.name) {
            *routine = n.routine;
            return true;
        }
    }
    return false;
}

// One call of the routine on side k; returns its processor seconds (a run
// its own) and folds its output into *hash.
double call(Routine routine, const Engine& e, Workload& w, int k, uint64_t* hash) {
    double* buffer = w.buffers[w.calls % 3];
    HpNumber* out = w.out[k];
    // The spectrum's second operand: the buffer of the call after this one.
    double* second = w.buffers[(w.calls + 1) % 3];
    if (routine == Routine::carry) std::memcpy(buffer, w.convolution.data(), (nfft + 2) * sizeof(double));
    if (routine == Routine::spectrum) {
        std::memcpy(buffer, w.spectra[0].data(), (nfft + 2) * sizeof(double));
        std::memcpy(second, w.spectra[1].data(), (nfft + 2) * sizeof(double));
    }
    double seconds = 0.0;
    if (routine == Routine::run) {
        BenchmarkResult result;
        e.run(&result, nullptr);
        if (result.success != 1) {
            std::fprintf(stderr, "ab_engine: the run failed: %s\n", result.error_message);
            std::exit(1);
        }
        seconds = result.elapsed_time;
        *hash = fnv(*hash, &result.digits_calculated, sizeof result.digits_calculated);
    } else {
        const double start = thread_seconds();
        switch (routine) {
            case Routine::square: e.square(words, R, w.a, out, nfft, buffer); break;
            case Routine::carry: e.convolution(words, R, nfft, buffer, out); break;
            case Routine::load: e.load(nfft / 2 + 1, R, w.a, 0, nfft, buffer); break;
            case Routine::spectrum: e.spectrum_mul(nfft, buffer + 1, second + 1); break;
            default:
                e.add(words, R, w.a, w.b, out);
                e.sub(words, R, out, w.b, out);
        }
        seconds = thread_seconds() - start;
        if (routine == Routine::load) {
            *hash = fnv(*hash, buffer, (nfft + 2) * sizeof(double));
        } else if (routine == Routine::spectrum) {
            // Only the product: the first operand is left as a held spectrum,
            // whose layout is the kernels' own and may differ between builds.
            *hash = fnv(*hash, second, (nfft + 2) * sizeof(double));
        } else {
            *hash = fnv(*hash, out->words, words * sizeof(int16_t));
        }
    }
    double* after_next = w.buffers[(w.calls + 2) % 3];
    for (int32_t i = 0; i < nfft + 2; ++i) after_next[i] += 1.0;
    ++w.calls;
    return seconds;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 5) {
        std::fprintf(stderr, "usage: ab_engine <before.so> <after.so> <run|square|carry|load|words|spectrum> <rounds>\n");
        return 1;
    }
    const Engine side[2] = {open_engine(argv[1]), open_engine(argv[2])};
    Routine routine;
    if (!parse_routine(argv[3], &routine)) {
        std::fprintf(stderr, "ab_engine: unknown routine %s\n", argv[3]);
        return 1;
    }
    const int rounds = std::max(2, std::atoi(argv[4]));
    Workload w(side[0]);
    std::vector<double> times[2], ratios;
    uint64_t hash[2] = {0xcbf29ce484222325u, 0xcbf29ce484222325u};
    // The first round of each side warms its code and pages and is left out.
    for (int round = 0; round <= rounds; ++round) {
        double t[2];
        for (int turn = 0; turn < 2; ++turn) {
            const int k = round % 2 == 0 ? turn : 1 - turn;
            t[k] = call(routine, side[k], w, k, &hash[k]);
        }
        if (round == 0) continue;
        times[0].push_back(t[0]);
        times[1].push_back(t[1]);
        ratios.push_back(t[1] / t[0]);
    }
    const double scale = routine == Routine::run ? 1.0 : 1e3;
    std::printf("%.3f %.3f %.3f\n", scale * median(times[0]), scale * median(times[1]), median(ratios));
    return hash[0] == hash[1] ? 0 : 2;
}
