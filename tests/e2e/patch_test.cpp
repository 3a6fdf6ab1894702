#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "e2e/harness.h"
#include "patch_builders.h"
#include "vectors.h"

namespace {

using testing_support::BpsPatch;
using testing_support::ByteList;
using testing_support::IpsPatch;

std::string progress(const std::string& kind, const std::string& patch, const std::string& in,
                     const std::string& out) {
    return "Applying " + kind + " patch " + patch + " to " + in + " -> " + out + "...\n";
}

ByteList vector(const std::string& relative) {
    return testing_support::testData(std::filesystem::path("vectors") / relative);
}

// A patch command and its fixed console lines.
struct PatchCommand {
    const char* command;
    const char* kind;
    const char* success;
};
const PatchCommand ips{"--patch", "IPS", "SUCCESS: Patch successfully applied!\n"};
const PatchCommand bps{"--bps-patch", "BPS", "SUCCESS: BPS patch successfully applied!\n"};

e2e::RunResult patch(const PatchCommand& run, const e2e::ScratchFolder& folder,
                     const std::string& in, const std::string& patchFile, const std::string& out) {
    return e2e::runQuillon({run.command, in, patchFile, out}, folder.path());
}

void expectApplied(const e2e::RunResult& r, const PatchCommand& run, const std::string& in,
                   const std::string& patchFile, const std::string& out) {
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.out, progress(run.kind, patchFile, in, out) + run.success);
    EXPECT_EQ(r.err, "");
}

TEST(PatchCommands, OutputMayReplaceTheInput) {
    e2e::ScratchFolder folder;
    folder.write("rom.bin", ByteList{1, 2, 3, 4});
    folder.write("a.ips", IpsPatch().record(1, {7, 7}).eof().bytes());
    folder.write("b.bps", BpsPatch(4, 6).sourceRead(4).targetRead({5, 6}).bytes());
    expectApplied(patch(ips, folder, "rom.bin", "a.ips", "rom.bin"), ips, "rom.bin", "a.ips",
                  "rom.bin");
    EXPECT_EQ(folder.read("rom.bin"), (ByteList{1, 7, 7, 4}));
    expectApplied(patch(bps, folder, "rom.bin", "b.bps", "rom.bin"), bps, "rom.bin", "b.bps",
                  "rom.bin");
    EXPECT_EQ(folder.read("rom.bin"), (ByteList{1, 7, 7, 4, 5, 6}));
    EXPECT_EQ(folder.entries(), (std::vector<std::string>{"a.ips", "b.bps", "rom.bin"}));
}

// The creators and their console lines.
struct CreateCommand {
    const char* command;
    const char* kind;
    PatchCommand apply;
};
const CreateCommand createIps{"--create-ips", "IPS", ips};
const CreateCommand createBps{"--create-bps", "BPS", bps};

std::string creating(const CreateCommand& c, const std::string& original,
                     const std::string& modified, const std::string& patchFile) {
    return "Creating " + std::string(c.kind) + " patch " + patchFile + " from " + original +
           " -> " + modified + "...\n";
}

e2e::RunResult create(const CreateCommand& c, const e2e::ScratchFolder& folder,
                      const std::string& original, const std::string& modified,
                      const std::string& patchFile) {
    return e2e::runQuillon({c.command, original, modified, patchFile}, folder.path());
}

// Created patches, applied by the program's own appliers, give the modified
// file: the real-world pairs and a shorter, a longer and an identical file.
TEST(CreateCommands, CreatedPatchesGiveTheModifiedFile) {
    struct Row {
        const char* name;
        ByteList original;
        ByteList modified;
    };
    const ByteList five{1, 2, 3, 4, 5};
    std::vector<Row> rows{
        {"shorter", five, ByteList{1, 9, 3}},
        {"longer", five, ByteList{0, 2, 3, 4, 5, 0, 0, 0, 7}},
        {"identical", five, five},
    };
    for (const char* pair : {"insdel_128k", "blocks_256k", "runs_64k"}) {
        rows.push_back({pair, vector("pairs/" + std::string(pair) + ".source.bin"),
                        vector("pairs/" + std::string(pair) + ".target.bin")});
    }
    for (const Row& row : rows) {
        for (const CreateCommand& c : {createIps, createBps}) {
            SCOPED_TRACE(std::string(row.name) + " " + c.kind);
            e2e::ScratchFolder folder;
            folder.write("orig.bin", row.original);
            folder.write("mod.bin", row.modified);
            const auto r = create(c, folder, "orig.bin", "mod.bin", "made.patch");
            EXPECT_EQ(r.exitCode, 0);
            EXPECT_EQ(r.out, creating(c, "orig.bin", "mod.bin", "made.patch") +
                                 "SUCCESS: " + c.kind + " patch written to made.patch\n");
            EXPECT_EQ(r.err, "");
            expectApplied(patch(c.apply, folder, "orig.bin", "made.patch", "out.bin"), c.apply,
                          "orig.bin", "made.patch", "out.bin");
            EXPECT_EQ(folder.read("out.bin"), row.modified);
        }
    }
}

} // namespace
