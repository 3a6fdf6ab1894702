#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <limits>
#include <optional>
#include <string>
#include <utility>
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
    const char* failure;
};
const PatchCommand ips{"--patch", "IPS", "SUCCESS: Patch successfully applied!\n",
                       "ERROR: Failed to apply IPS patch.\n"};
const PatchCommand bps{"--bps-patch", "BPS", "SUCCESS: BPS patch successfully applied!\n",
                       "ERROR: Failed to apply BPS patch.\n"};

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

void expectRejected(const e2e::RunResult& r, const PatchCommand& run, const std::string& in,
                    const std::string& patchFile, const std::string& out) {
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.out, progress(run.kind, patchFile, in, out));
    EXPECT_EQ(r.err, run.failure);
}

TEST(PatchCommands, VectorsGiveTheirTargets) {
    struct Vector {
        PatchCommand run;
        const char* patch;
        const char* pair;
    };
    for (const Vector& v : {Vector{ips, "insdel_128k.ips", "insdel_128k"},
                            Vector{bps, "insdel_128k.delta.bps", "insdel_128k"},
                            Vector{bps, "runs_64k.linear.bps", "runs_64k"}}) {
        SCOPED_TRACE(v.patch);
        e2e::ScratchFolder folder;
        folder.write("game.bin", vector("pairs/" + std::string(v.pair) + ".source.bin"));
        folder.write(v.patch, vector("patches/" + std::string(v.patch)));
        const auto r = patch(v.run, folder, "game.bin", v.patch, "patched.bin");
        expectApplied(r, v.run, "game.bin", v.patch, "patched.bin");
        EXPECT_EQ(folder.read("patched.bin"),
                  vector("pairs/" + std::string(v.pair) + ".target.bin"));
        EXPECT_EQ(folder.entries().size(), 3u);
    }
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

// A rejected input writes no file at all, not even a temporary one.
TEST(PatchCommands, RejectedInputsWriteNothing) {
    struct Rejected {
        const char* name;
        PatchCommand run;
        ByteList rom;
        ByteList patchBytes;
    };
    const ByteList rom{1, 2, 3, 4};
    const auto huge = [](std::uint64_t size) { return BpsPatch(4, size).sourceRead(4).bytes(); };
    for (const Rejected& c : std::vector<Rejected>{
             {"IPS cut off after a valid record", ips, rom,
              IpsPatch().record(0, {9}).raw({0, 0}).bytes()},
             {"IPS wrong magic", ips, rom, ByteList{'P', 'A', 'T', 'C', 'X', 'E', 'O', 'F'}},
             {"BPS wrong magic", bps, rom,
              ByteList{'B', 'P', 'S', '0', 0x84, 0x84, 0x80, 0, 0, 0, 0, 0}},
             {"BPS target of 2^32 + 1 bytes", bps, rom, huge((std::uint64_t{1} << 32) + 1)},
             {"BPS target of 2^63 bytes", bps, rom, huge(std::uint64_t{1} << 63)},
             {"BPS target of 2^64 - 1 bytes", bps, rom,
              huge(std::numeric_limits<std::uint64_t>::max())},
         }) {
        SCOPED_TRACE(c.name);
        e2e::ScratchFolder folder;
        folder.write("in.bin", c.rom);
        folder.write("p.dat", c.patchBytes);
        expectRejected(patch(c.run, folder, "in.bin", "p.dat", "out.bin"), c.run, "in.bin", "p.dat",
                       "out.bin");
        EXPECT_EQ(folder.entries(), (std::vector<std::string>{"in.bin", "p.dat"}));
    }
}

// An empty result is still a result: BPS once its magic is accepted but no
// size to honour follows, IPS when its truncation size is 0.
TEST(PatchCommands, WritesAnEmptyFileWhereThePatchSaysSo) {
    e2e::ScratchFolder folder;
    folder.write("in.bin", ByteList{1, 2, 3, 4});
    folder.write("cut.bps", ByteList{'B', 'P', 'S', '1', 0, 0, 0, 0, 0, 0, 0, 0});
    folder.write("zero.bps", BpsPatch(4, 0).targetRead({1}).bytes());
    folder.write("zero.ips", IpsPatch().record(0, {9}).eof().raw({0, 0, 0}).bytes());
    for (const auto& [run, name] : {std::pair{bps, "cut.bps"}, std::pair{bps, "zero.bps"},
                                    std::pair{ips, "zero.ips"}}) {
        SCOPED_TRACE(name);
        expectApplied(patch(run, folder, "in.bin", name, "out.bin"), run, "in.bin", name,
                      "out.bin");
        ASSERT_TRUE(folder.exists("out.bin"));
        EXPECT_TRUE(folder.read("out.bin").empty());
        std::filesystem::remove(folder.path() / "out.bin");
    }
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

// Nothing is written for an input that is empty or missing, nor for an IPS
// patch that cannot reach a byte at 16 MiB.
TEST(CreateCommands, RefusedInputsWriteNothing) {
    struct Row {
        const char* name;
        CreateCommand c;
        ByteList original;
        std::optional<ByteList> modified; // nullopt: no such file
    };
    const ByteList some{1, 2, 3};
    ByteList past16MiB((std::size_t{1} << 24) + 1, 0);
    for (const Row& row : std::vector<Row>{
             {"IPS, empty original", createIps, ByteList{}, some},
             {"BPS, empty original", createBps, ByteList{}, some},
             {"IPS, empty modified", createIps, some, ByteList{}},
             {"BPS, missing modified", createBps, some, std::nullopt},
             {"IPS, a byte at 16 MiB", createIps, some, past16MiB},
         }) {
        SCOPED_TRACE(row.name);
        e2e::ScratchFolder folder;
        folder.write("orig.bin", row.original);
        std::vector<std::string> files{"orig.bin"};
        if (row.modified) {
            folder.write("mod.bin", *row.modified);
            files.insert(files.begin(), "mod.bin"); // entries() are sorted
        }
        const auto r = create(row.c, folder, "orig.bin", "mod.bin", "made.patch");
        EXPECT_EQ(r.exitCode, 1);
        EXPECT_EQ(r.out, creating(row.c, "orig.bin", "mod.bin", "made.patch"));
        EXPECT_EQ(r.err, "ERROR: Failed to create " + std::string(row.c.kind) + " patch.\n");
        EXPECT_EQ(folder.entries(), files);
    }
}

} // namespace
