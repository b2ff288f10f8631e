// describe: a structure proposed from the bytes of a data file alone.
#include <cstdio>
#include <iostream>
#include <limits>

#include "codec.h"
#include "commands.h"
#include "describe.h"
#include "filestream.h"
#include "typejson.h"

namespace vmcli {

namespace {

constexpr const char* kUsage =
    "Usage: vellomarque-cli describe DATAFILE [--begin B] [--length L] [--top N] "
    "[--record-length R]";

} // namespace

int cmdDescribe(const Args& a) {
    std::string path;
    std::int64_t begin = 0, length = -1;
    int top = 0, recordLength = 0;
    for (std::size_t i = 0; i < a.size(); ++i) {
        const std::string& o = a[i];
        if (o == "--begin" || o == "--length" || o == "--top" || o == "--record-length") {
            if (i + 1 >= a.size())
                return fail(o + " needs a number");
            const auto n = vm::parseInteger(a[++i]);
            if (!n || *n < 0 || ((o == "--top" || o == "--record-length") && *n > 65535))
                return fail("Not a number for " + o + ": " + a[i]);
            if (o == "--begin")
                begin = *n;
            else if (o == "--length")
                length = *n;
            else if (o == "--top")
                top = static_cast<int>(*n);
            else
                recordLength = static_cast<int>(*n);
        } else if (path.empty() && !(o.size() > 1 && o[0] == '-')) {
            path = o;
        } else {
            return fail(kUsage);
        }
    }
    if (path.empty())
        return fail(kUsage);
    vm::FileStream data;
    if (!vm::fileExists(path))
        return fail("Cannot open data file " + path);
    if (!data.open(path, vm::FileStream::Mode::Read))
        return fail("Cannot open data file " + path + ": " + data.lastError());
    const std::int64_t size = data.size();
    if (size > std::numeric_limits<std::int32_t>::max())
        return fail(path + " is 2 GiB or larger: the structure can only describe files "
                           "smaller than 2 GiB (2147483648 bytes)");
    if (begin > size)
        return fail("--begin " + std::to_string(begin) + " is past the end of the file (" +
                    std::to_string(size) + " bytes)");
    if (length >= 0 && begin + length > size)
        return fail("--begin plus --length runs past the end of the file (" +
                    std::to_string(size) + " bytes)");
    if (length < 0)
        length = size - begin;

    vm::DescribeOptions options;
    options.proposals = std::max(top, 1);
    options.recordLength = recordLength;
    const vm::DescribeResult r = vm::describeRecords(data, begin, length, options);
    if (!r.ok)
        return fail(path + ": " + r.message);

    const vm::SegmentList segments = vm::proposalSegments(r.proposals.front(), begin, length);
    vm::ViewSettings settings;
    settings.setCanResetStructure(true);
    settings.setShowIndexNum(true);
    settings.setPositionFormat(2);
    std::cout << structureJson(segments, settings, vm::DataHintFlags{}) << '\n';
    if (top > 0) {
        std::cerr << "rank\trecord length\tevidence\tfirst record\trecords\n";
        for (std::size_t i = 0; i < r.proposals.size(); ++i) {
            const vm::RecordProposal& p = r.proposals[i];
            char evidence[16];
            std::snprintf(evidence, sizeof evidence, "%.3f", p.evidence);
            std::cerr << i + 1 << '\t' << p.recordLength << '\t' << evidence << '\t'
                      << p.firstRecord << '\t' << p.recordCount << '\n';
        }
    }
    return std::cout.good() ? 0 : 1;
}

} // namespace vmcli
