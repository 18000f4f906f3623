#include "commands/detect_limits.h"

#include <csignal>
#include <cstdio>
#include <unistd.h>

#include "commands/simulation_share.h"
#include "base/formatted_text.h"

namespace commands {

namespace {

// Set by the SIGINT handler, read by the progress callback: a signal handler
// can reach nothing but a flag of this kind.
volatile std::sig_atomic_t interruptSeen = 0;
struct sigaction previousAction;

void onInterrupt(int) { interruptSeen = 1; }

// A count with a power of ten that a reader takes in at once: "4.2e13".
std::string countText(double v)
{
    int exponent = 0;
    while (v >= 10) {
        v /= 10;
        ++exponent;
    }
    return base::formatText("%.1fe%d", v, exponent);
}

}  // namespace

uint64_t physicalMemoryBytes()
{
    const long pages = sysconf(_SC_PHYS_PAGES), size = sysconf(_SC_PAGESIZE);
    return pages > 0 && size > 0 ? static_cast<uint64_t>(pages) * static_cast<uint64_t>(size) : 0;
}

std::string humanBytes(uint64_t bytes)
{
    static const char* const units[] = {"KiB", "MiB", "GiB", "TiB", "PiB", "EiB"};
    if (bytes < 1024)
        return std::to_string(bytes) + " bytes";
    double v = static_cast<double>(bytes) / 1024;
    size_t unit = 0;
    while (v >= 1024 && unit + 1 < std::size(units)) {
        v /= 1024;
        ++unit;
    }
    return base::formatText(v < 10 ? "%.1f %s" : "%.0f %s", v, units[unit]);
}

bool detectionFitsLimits(const detection::DetectionCost& cost, std::optional<uint64_t> maxMemory,
                         std::optional<uint64_t> maxWork, std::string& error, const LimitWords& words)
{
    const std::string what = words.what, change = words.change;
    const uint64_t memoryLimit = maxMemory ? *maxMemory : physicalMemoryBytes() / 2;
    if (memoryLimit > 0 && cost.bytes > memoryLimit) {
        error = what + " would need about " + humanBytes(cost.bytes) + " of memory, above the limit of " +
                humanBytes(memoryLimit) + (maxMemory ? " (--max-memory)" : " (half the physical memory)") + "; " +
                change + ", or raise --max-memory";
        return false;
    }
    const uint64_t workLimit = maxWork ? *maxWork : kDefaultMaxWork;
    if (cost.work > workLimit) {
        error = what + " would take about " + countText(static_cast<double>(cost.work)) +
                " cell updates, above the limit of " + countText(static_cast<double>(workLimit)) +
                (maxWork ? " (--max-work)" : "") + " (hours of work at a billion a second); " + change +
                ", or raise --max-work";
        return false;
    }
    return true;
}

InterruptWatch::InterruptWatch()
{
    interruptSeen = 0;
    struct sigaction action {};
    action.sa_handler = onInterrupt;
    sigemptyset(&action.sa_mask);
    // The first Ctrl-C asks; a second one ends the process at once.
    action.sa_flags = SA_RESETHAND;
    sigaction(SIGINT, &action, &previousAction);
}

InterruptWatch::~InterruptWatch() { sigaction(SIGINT, &previousAction, nullptr); }

bool InterruptWatch::interrupted() const { return interruptSeen != 0; }

void InterruptWatch::closeBar()
{
    if (barOpen_)
        std::fprintf(stderr, "\n");
    barOpen_ = false;
}

detection::ProgressCallback InterruptWatch::progress(bool records, std::chrono::steady_clock::time_point started)
{
    using Clock = std::chrono::steady_clock;
    detection::ProgressCallback display = simulationProgress(records, started, "cells");
    return [this, display, records, started, shown = false, last = started](uint64_t done, uint64_t total) mutable {
        if (interruptSeen)
            return false;
        if (!display)
            return true;
        const auto now = Clock::now();
        // A detection that ends within a second shows nothing; a bar is
        // redrawn at most ten times a second, and always at its end.
        if (!shown && (done >= total || now - started < std::chrono::seconds(1)))
            return true;
        if (!records && done < total && shown && now - last < std::chrono::milliseconds(100))
            return true;
        shown = true;
        last = now;
        barOpen_ = !records && done < total;
        display(done, total);
        return true;
    };
}

}  // namespace commands
