// quillmore-cli alphabet: the 20 etalons the workbench makes at start.

#include <array>
#include <cstdio>
#include <string>
#include <vector>

#include "commands/commands.h"
#include "commands/option_parser.h"
#include "synthesis/etalon_generation.h"
#include "synthesis/random_streams.h"

namespace commands {

namespace {

constexpr int16_t kAmplitude = 128;
constexpr uint16_t kEtalonCount = 20;
constexpr uint16_t kEtalonLength = 20;

void printTable(const std::array<synthesis::PulseHeader, kEtalonCount>& alphabet)
{
    std::printf("letter  number  energy  samples\n");
    for (const synthesis::PulseHeader& e : alphabet) {
        std::printf("%-6c  %6d  %6d ", synthesis::etalonLetter(e.wNumber), e.wNumber, synthesis::etalonEnergy(e));
        for (int j = 0; j < e.wSize; ++j)
            std::printf(" %4d", e.lpData[j]);
        std::printf("\n");
    }
}

void printJson(const std::array<synthesis::PulseHeader, kEtalonCount>& alphabet)
{
    std::printf("{\"amplitude\": %d, \"length\": %d, \"etalons\": [\n", kAmplitude, kEtalonLength);
    for (size_t i = 0; i < alphabet.size(); ++i) {
        const synthesis::PulseHeader& e = alphabet[i];
        std::printf("  {\"letter\": \"%c\", \"number\": %d, \"energy\": %d, \"samples\": [",
                    synthesis::etalonLetter(e.wNumber), e.wNumber, synthesis::etalonEnergy(e));
        for (int j = 0; j < e.wSize; ++j)
            std::printf("%s%d", j ? ", " : "", e.lpData[j]);
        std::printf("]}%s\n", i + 1 < alphabet.size() ? "," : "");
    }
    std::printf("]}\n");
}

}  // namespace

int runAlphabetCommand(const std::vector<std::string>& args)
{
    bool json = false;
    static constexpr OptionRule<bool> rules[] = {
        {"--json", false, [](bool& j, const std::string&, std::string&) { return j = true; }},
    };
    if (std::string error; !readOptions<bool>(args, json, tableLookup<bool>(rules), nullptr, error)) {
        std::fprintf(stderr, "quillmore-cli alphabet: %s\n", error.c_str());
        return 2;
    }
    base::MessageRecorder messages;
    std::array<synthesis::PulseHeader, kEtalonCount> alphabet{};
    synthesis::RandomStreams streams;
    if (!synthesis::makeAlphabet(messages, kAmplitude, kEtalonCount, kEtalonLength, alphabet, streams.etalonSeed)) {
        for (const base::RecordedMessage& m : messages.messages)
            std::fprintf(stderr, "%s: %s\n", m.caption.c_str(), m.text.c_str());
        return 1;
    }
    if (json)
        printJson(alphabet);
    else
        printTable(alphabet);
    return 0;
}

}  // namespace commands
