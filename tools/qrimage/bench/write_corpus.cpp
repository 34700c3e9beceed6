// Prints the benchmark corpus, one text a line; with "every N", only every
// Nth text (from the first). scripts/run-bench feeds it to the batch and to
// the qrencode loop.
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "corpus.h"

int main(int argc, char** argv) {
    const long every = argc == 3 && std::strcmp(argv[1], "every") == 0 ? std::atol(argv[2]) : 1;
    if (every < 1 || (argc != 1 && argc != 3)) {
        std::fprintf(stderr, "usage: %s [every N]\n", argv[0]);
        return 2;
    }
    const auto texts = qrbench::Corpus();
    for (std::size_t i = 0; i < texts.size(); i += std::size_t(every)) {
        std::printf("%s\n", texts[i].c_str());
    }
    return std::fflush(stdout) == 0 ? 0 : 1;
}
