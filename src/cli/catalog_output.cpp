#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "cli/commands.h"
#include "cli/json_lines.h"
#include "cli/progress_line.h"
#include "scan/scan.h"

int printCatalog(const CommandArgs& args) {
    const std::vector<std::string>& arguments = args.values;
    ProgressLine progress("Cataloguing...", standardErrorIsTerminal());
    std::uint64_t files = 0;
    std::uint64_t bytes = 0;
    bool allRead = true;
    std::optional<DigestCache> cache = DigestCache::openDefault();
    const RecordSink print = [&](const CatalogRecord& record) {
        std::string line = catalogLine(record);
        line.push_back('\n');
        progress.wipe();
        std::fwrite(line.data(), 1, line.size(), stdout);
        allRead = allRead && record.state != ItemState::Unreadable;
        ++files;
        bytes += record.size;
        if (progress.shown()) {
            std::fflush(stdout);
        }
        progress.update(files, bytes, false);
    };
    catalogPaths(arguments, print, cache ? &*cache : nullptr);
    std::fflush(stdout);
    progress.finish(files, bytes);
    return allRead ? 0 : 1;
}
