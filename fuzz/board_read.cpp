// readDrevalinFile on arbitrary bytes. It either throws DrevalinFileError or yields a document
// whose written file reads back, and writing that again gives the same bytes.

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <vector>

#include "fuzz/support/Invariant.hpp"
#include "DVIO/BoardFile.hpp"

using dv::fuzz::broken;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::optional<dv::DrevalinReadResult> read;
    try {
        read = dv::readDrevalinFile({data, size});
    } catch (const dv::DrevalinFileError&) {
        return 0;
    }
    std::vector<std::uint8_t> first = dv::writeDrevalinFile(read->document);
    if (first.empty() || first.back() != '\n') broken("the written file does not end with a line feed");
    std::vector<std::uint8_t> second;
    try {
        second = dv::writeDrevalinFile(dv::readDrevalinFile(first).document);
    } catch (const dv::DrevalinFileError& error) {
        std::fprintf(stderr, "%s\n", error.what());
        broken("a written file does not read back");
    }
    if (second != first) broken("writing the file read back gives other bytes");
    return 0;
}
