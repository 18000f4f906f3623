// quillmore-cli: the workbench without its window, for scripts.

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "commands/commands.h"

namespace {

const char* kUsage =
    "usage: quillmore-cli COMMAND [options]\n"
    "(every option's value may follow it as the next word or as --name=value)\n"
    "\n"
    "commands:\n"
    "  alphabet [--json]          print the 20 etalons (letter, number, energy, samples)\n"
    "  run [options] [--json]     start as the workbench starts, apply the options, then make and\n"
    "                             process series as a click on Next does\n"
    "  simulate [options] [simulation options] [--json | --csv] [--plot FILE.png [--size WxH]]\n"
    "                             run \"Detection, Statistical Simulation\" and print its errors\n"
    "  simulate [options] [simulation options] --shard K/N --out FILE\n"
    "                             run shard K of N (K from 1) and write its part file\n"
    "  merge PART... [--json | --csv] [--plot FILE.png [--size WxH]]\n"
    "                             put the part files of one run together and print what\n"
    "                             simulate prints for the whole run\n"
    "  detect FILE [detect options]\n"
    "                             find pulses in your own series (see detect options)\n"
    "  search FILE [search options]\n"
    "                             the count-unknown detection at every layout of a grid of\n"
    "                             periods (or Tmin/Tmax pairs) and pulse lengths: the spectrum\n"
    "                             and the best layout's pulses (see search options)\n"
    "  help                       print this text\n"
    "\n"
    "options of run and simulate (applied in this order):\n"
    "  --series-type fixed|unfixed      Fixed / Unfixed Number of Pulses\n"
    "  --task joint|detection|processing  the task type\n"
    "  --etalons 3,7,12                 the etalons in use (joint detection takes exactly one)\n"
    "  --length N                       series length, as a click on a length option (simulate:\n"
    "                                   typed into \"Create Series\")\n"
    "  --noise S                        noise level (standard deviation)\n"
    "  --pulses K                       pulse count (out of range becomes the mean of the range)\n"
    "  --tmin A, --tmax B               least and greatest distance between pulse starts\n"
    "  --energy P                       saved energy level, 0 to 100\n"
    "  --method 0|1|2|6                 detection method of blind detection\n"
    "  --more-details                   the trace of every processing\n"
    "  --series N                       series to make (run; default 1)\n"
    "  --same J                         \"Processing Same Data\" J times after each series (run)\n"
    "  --render FILE.png                the window's picture after the last series, as PNG (run)\n"
    "  --size WxH                       its client size, 320x240 to 8192x8192 (run; default 1280x800);\n"
    "                                   with simulate, the size of --plot (default 1600x900)\n"
    "\n"
    "simulation options (fields of the \" Location Parameters\" dialog):\n"
    "  --from A --to B --incr I         pulse counts A, A+I, ... B, within the counts the length\n"
    "                                   admits that the simulation takes (1 to 31)\n"
    "  --noise-from S --noise-steps K --noise-incr D   noise levels S, S+D, ... (K of them)\n"
    "  --repeats R                      series per cell\n"
    "  --plot FILE.png                  the printed errors against the noise level, one curve per\n"
    "                                   pulse count, as PNG (not with --shard; merge takes it too)\n"
    "\n"
    "how simulate runs (none of them changes a byte of its output):\n"
    "  --threads N                      threads (default: OMP_NUM_THREADS, else SLURM_CPUS_PER_TASK,\n"
    "                                   else every processor this process may use)\n"
    "  --progress                       progress lines on standard error, for job logs\n"
    "  --shard K/N --out FILE           shard K of N (K from 1 to N), its part written to FILE\n"
    "\n"
    "detect options:\n"
    "  --column NAME|INDEX              text or .npy column (1-based; default the last numeric one)\n"
    "  --channel N                      sound file channel (1-based; needed when it has several)\n"
    "  --format auto|text|npy|sound|datafile\n"
    "  --pulses K                       a known count: energy programme, improvement passes and,\n"
    "                                   for small counts, the exhaustive search\n"
    "  --unknown                        an unknown count: the sequential method (energy) or the\n"
    "                                   matched filter (correlation: the count of greatest excess\n"
    "                                   of snr over the null of --null-series R series, default 8)\n"
    "  --method 0..6                    blind detection: the pulse-count ranking and threshold\n"
    "                                   method M (5, the additive model, needs noise-free samples);\n"
    "                                   with correlation, method M on the correlations (not 4)\n"
    "  --tmin A --tmax B                least and greatest distance between pulse starts (samples)\n"
    "  --pulse-length L                 window length of --score energy\n"
    "  --score energy|correlation       window energy (default) or correlation with a template:\n"
    "  --etalon a..t | --box W | --template FILE\n"
    "  --detrend none|median|W          nothing, the whole series' median (default), or a moving\n"
    "                                   median of W samples subtracted\n"
    "  --invert                         dips become pulses\n"
    "  --scale auto|F                   floating-point data: auto (default) makes the largest |x|\n"
    "                                   32767; integer data are kept unless --scale is given\n"
    "  --noise S                        noise level of methods 1 and 6 (default: estimated)\n"
    "  --snr-min S                      --method 0, 1, 2 or 6 on correlations: the least signal-to-\n"
    "                                   noise ratio, T = S sigma |h| (default: a false pulse in 1 %\n"
    "                                   of pure-noise series)\n"
    "  --significance N                 false-alarm probability against N block surrogates\n"
    "  --seed S | --threads N           of the null series and surrogates (default 1 | every core)\n"
    "  --counts-csv FILE                every admissible count's figures as CSV\n"
    "  --plot FILE.png [--size WxH]     a picture of the series with the pulses framed\n"
    "  --json | --csv                   one JSON object, or the pulses as CSV\n"
    "  --max-memory SIZE                refuse a detection whose estimated memory passes SIZE\n"
    "                                   (512M, 4G, 2.5G or bytes; default half the physical memory)\n"
    "  --max-work N                     refuse one whose estimated work passes N cell updates\n"
    "                                   (default 1e13)\n"
    "  --progress                       progress lines on standard error (on a terminal a bar is\n"
    "                                   drawn anyway once the detection has run a second)\n"
    "\n"
    "search options (reading, preparation, --json, --csv, --plot, --max-memory, --max-work and\n"
    "--progress as detect's):\n"
    "  --period FROM:TO:STEP --window F layouts from periods P (real numbers): Tmin = floor(P(1-F)),\n"
    "                                   Tmax = ceil(P(1+F)), 0 < F < 1\n"
    "  --tmin LIST --tmax LIST          or given layouts: comma lists paired in order (one value\n"
    "                                   serves every pair)\n"
    "  --pulse-length LIST|FROM:TO:STEP the pulse lengths tried at every layout\n"
    "  --score correlation|energy       the matched filter (default) or the sequential method\n"
    "  --box [W] | --etalon X | --template FILE\n"
    "                                   the template: by default a box as long as each pulse length;\n"
    "                                   a fixed one sets the pulse length itself\n"
    "  --null-series R --seed S         the matched filter's null series at every point\n"
    "  --significance N                 N block surrogates, each searched over the whole grid: the\n"
    "                                   false-alarm probability with the look-elsewhere effect\n"
    "  --threads N                      grid points run at once (default: every usable processor)\n"
    "  at most 100000 grid points; the best point has the greatest statistic (the first on ties)\n"
    "\n"
    "exit codes: 0 success, 1 the workbench could not start, make a series of run or simulate,\n"
    "the parts could not be read or put together, detect or search could not read or prepare\n"
    "its file, or no point of search's grid could run, 2 bad options (for detect also a layout\n"
    "the series cannot hold; for search a grid above 100000 points; for both a run above\n"
    "--max-memory or --max-work), 130 detect or search stopped by Ctrl-C (nothing written).\n"
    "Message boxes go to the JSON \"messages\" or, without --json, to standard error.\n"
    "See docs/cli.md for the output formats.\n";

}  // namespace

int main(int argc, char** argv)
{
    if (argc < 2) {
        std::fputs(kUsage, stderr);
        return 2;
    }
    const std::string command = argv[1];
    const std::vector<std::string> args(argv + 2, argv + argc);
    if (command == "alphabet")
        return commands::runAlphabetCommand(args);
    if (command == "run")
        return commands::runRunCommand(args);
    if (command == "simulate")
        return commands::runSimulateCommand(args);
    if (command == "merge")
        return commands::runMergeCommand(args);
    if (command == "detect")
        return commands::runDetectCommand(args);
    if (command == "search")
        return commands::runSearchCommand(args);
    if (command == "help" || command == "--help" || command == "-h") {
        std::fputs(kUsage, stdout);
        return 0;
    }
    std::fprintf(stderr, "quillmore-cli: unknown command '%s'\n\n%s", command.c_str(), kUsage);
    return 2;
}
