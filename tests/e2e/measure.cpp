// Time from process creation to a visible main dialog, for Lumivale.exe and
// for a bare DialogBoxParamA program, started in turns in the same prefix.
#include <algorithm>
#include <cstdio>
#include <vector>

#include "harness.h"

namespace e2e {

namespace {

double Now() {
    LARGE_INTEGER counter, frequency;
    QueryPerformanceCounter(&counter);
    QueryPerformanceFrequency(&frequency);
    return 1000.0 * counter.QuadPart / frequency.QuadPart;
}

double TimeToDialog(const std::string& exe) {
    double start = Now();
    App app;
    app.Start(exe);
    return Now() - start;
}

double Median(std::vector<double> samples) {
    std::sort(samples.begin(), samples.end());
    size_t n = samples.size();
    return n % 2 ? samples[n / 2] : (samples[n / 2 - 1] + samples[n / 2]) / 2;
}

}  // namespace

int Measure(int rounds) {
    std::string bare = Where().self + "\\bare-dialog.exe";
    std::vector<double> app, plain;
    try {
        // One unmeasured start of each warms the prefix's caches.
        TimeToDialog(Where().app);
        TimeToDialog(bare);
        for (int i = 0; i < rounds; ++i) {
            app.push_back(TimeToDialog(Where().app));
            plain.push_back(TimeToDialog(bare));
        }
    } catch (const Abort&) {
        return 1;
    }
    double a = Median(app), b = Median(plain);
    std::printf("launch to visible dialog, median of %d: Lumivale.exe %.1f ms (min %.1f), "
                "bare dialog %.1f ms (min %.1f), ratio %.2f\n",
                rounds, a, *std::min_element(app.begin(), app.end()), b,
                *std::min_element(plain.begin(), plain.end()), a / b);
    return 0;
}

}  // namespace e2e
