// Writes the seed corpus of every fuzz target into DIR/<target>/ from the project's section builders
// and packetizer: one section of every collected table, a sequence with version changes, and short
// streams at each packet size.
#include "query/query_support.h"
#include "support/core/ts_packetizer.h"

#include <cstdio>
#include <string>

using namespace qxtest;

namespace {

struct Seed {
    uint16_t pid;
    Bytes section;
};

std::vector<Seed> Sections(uint8_t v) {
    const uint16_t wide = 0xA5C3; // ids with both bytes and high bits set
    return {
        {0x0000, BuildPat(wide, v, {{0, 0x0010}, {1, 0x0100}, {wide, 0x1FF0}})},
        {0x0100, BuildPmt(1, v, 0x0101, {{0x02, 0x0101}, {0x06, 0x1ABC}}, Descriptor(0x09, {1, 2, 3, 4}))},
        {0x0010, BuildNit(wide, v, Descriptor(0x40, {'n'}), {{wide, 0x0102, Descriptor(0x41, {0, 1, 1})}})},
        {0x0011, BuildSdt(wide, v, 0, 1)},
        {0x0011, BuildNitLike(0x4A, wide, v, 1, 1)},
        {0x0012, BuildEit(0x4E, wide, v, 0, 1, 1)},
        {0x0012, BuildEit(0x5F, 1, v, 8, 15, 8)},
        {0x0014, BuildTdt()},
        {0x0014, BuildTot()},
        {0x0013, BuildRst()},
        {0x0001, BuildCat(v, 0, 0)},
        {0x1FFB, BuildMgt(v, {{0x0100, 0x1D00, v, 300, {}}, {0x0200, 0x1D01, v, 300, {}}})},
        {0x1FFB, BuildTvct(wide, v, 0, 0)},
        {0x1FFB, BuildStt(0x4D3A1B2C)},
        {0x1D00, BuildAtscEit(wide, v, 0, 0, wide)},
        {0x1D01, BuildEtt((uint32_t(wide) << 16) | 0x0002, v)},
    };
}

bool Write(const std::string& path, const Bytes& bytes) {
    FILE* f = fopen(path.c_str(), "wb");
    bool ok = f != nullptr && fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    return f != nullptr && fclose(f) == 0 && ok;
}

Bytes Record(uint8_t op, uint16_t pid, const Bytes& section) {
    Bytes r = {uint8_t((op << 5) | (pid >> 8)), uint8_t(pid), uint8_t(section.size() >> 8),
               uint8_t(section.size())};
    r.insert(r.end(), section.begin(), section.end());
    return r;
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        fprintf(stderr, "usage: fuzz_seeds DIR (DIR/receive, sequence, decode, demux must exist)\n");
        return 2;
    }
    const std::string dir = argv[1];
    bool ok = true;
    std::vector<Seed> first = Sections(0), next = Sections(31);
    for (size_t i = 0; i < first.size(); ++i) {
        Bytes withPid = {uint8_t(0x80 | first[i].pid >> 8), uint8_t(first[i].pid)};
        withPid.insert(withPid.end(), next[i].section.begin(), next[i].section.end());
        ok &= Write(dir + "/receive/" + std::to_string(i), withPid);
        ok &= Write(dir + "/decode/" + std::to_string(i), first[i].section);
    }

    // Every table, then every table in its next version, with the application's calls between.
    Bytes sequence;
    for (const Seed& s : first) {
        Bytes r = Record(0, s.pid, s.section);
        sequence.insert(sequence.end(), r.begin(), r.end());
    }
    for (uint8_t op : {3, 4}) {
        Bytes r = Record(op, 0x0100, {});
        sequence.insert(sequence.end(), r.begin(), r.end());
    }
    for (const Seed& s : next) {
        Bytes r = Record(0, s.pid, s.section);
        sequence.insert(sequence.end(), r.begin(), r.end());
    }
    ok &= Write(dir + "/sequence/0", sequence);

    // The opening PAT, PMT and MGT as a multiplexer cuts them, at every packet size.
    TsPacketizer pat(0x0000), pmt(0x0100), mgt(0x1FFB);
    Bytes ts = pat.Packetize(first[0].section);
    for (const Bytes& more :
         {pmt.Packetize(first[1].section), mgt.Packetize(first[11].section), NullPacket()}) {
        ts.insert(ts.end(), more.begin(), more.end());
    }
    for (unsigned size : {188u, 192u, 204u}) {
        ok &= Write(dir + "/demux/" + std::to_string(size), WrapPackets(ts, size));
    }
    if (!ok) {
        fprintf(stderr, "fuzz_seeds: cannot write into %s\n", dir.c_str());
        return 1;
    }
    return 0;
}
