// The optical back end replaying scripted drives through the library's
// public calls. Each drive is a row (tests/cdlib/drive_rows.h) with its
// script: the TOC and CD-TEXT it returns, and the sectors it fails to read.
#include <map>
#include <set>

#include "cdlib/cdtext.h"
#include "cdlib/optical_device.h"
#include "tests/cdlib/drive_rows.h"

namespace {

struct Script {
    DriveRow row;
    std::vector<uint32_t> starts;   // first sector of each track, with the TOC's control bits above bit 24
    uint32_t leadout;
    std::vector<uint8_t> cdtext;    // the packs the drive returns
    std::map<uint32_t, int> flaky;  // sector -> reads that fail before it reads (counted down)
    std::set<uint32_t> bad;         // sectors that never read
    uint32_t gone = 0;              // the disc is taken out when a read reaches this sector (0: never)
    int most_requests = 0;          // reads of at most 16 sectors, then 3 tries a sector of a failed read
    int requests = 0;
    bool out = false;               // the disc has been taken out
};
std::vector<Script> g_scripts;
constexpr uint32_t kData = 4u << 24, kCopy = 2u << 24;

struct ScriptedDevice : CdDevice {
    Script* s;
    explicit ScriptedDevice(Script* script) : s(script) {}
    bool describe(char* text, size_t size) override
    {
        return snprintf(text, size, "%.*s", static_cast<int>(s->row.says.find(' ')), s->row.says.c_str()) > 0;
    }
    bool check_ready() override { return !s->out; }
    // The table of contents in the layout IOCTL_CDROM_READ_TOC returns, lead-out last.
    bool read_toc(std::vector<uint8_t>* toc) override
    {
        size_t n = s->starts.size();
        *toc = {static_cast<uint8_t>((n * 8 + 10) >> 8), static_cast<uint8_t>(n * 8 + 10), 1, static_cast<uint8_t>(n)};
        for (size_t i = 0; i <= n; ++i) {
            uint32_t start = i < n ? s->starts[i] : s->leadout, msf = (start & 0xFFFFFF) + 150;
            toc->insert(toc->end(), {0, static_cast<uint8_t>(0x10 | start >> 24), static_cast<uint8_t>(i < n ? i + 1 : 0xAA), 0, 0,
                                     static_cast<uint8_t>(msf / 4500), static_cast<uint8_t>(msf / 75 % 60), static_cast<uint8_t>(msf % 75)});
        }
        return !s->out;
    }
    bool read_cdtext(std::vector<uint8_t>* bytes) override { *bytes = s->cdtext; return !bytes->empty(); }
    bool read_audio(uint32_t first, uint32_t count, uint8_t* out) override
    {
        ++s->requests;
        for (uint32_t lba = first; lba < first + count; ++lba) {
            s->out = s->out || (s->gone && lba >= s->gone);
            if (s->out || count > 16 || s->bad.count(lba) || (s->flaky[lba] > 0 && s->flaky[lba]--)) return false;
        }
        memcpy(out, sectors(first, count).data(), count * 2352);
        return true;
    }
    uint32_t max_sectors_per_read() override { return 16; }
};

// Drives E:, G:, I:, ... each replaying one script.
int list_scripted(int* letters, int max)
{
    int n = 0;
    for (; n < max && n < static_cast<int>(g_scripts.size()); ++n) letters[n] = 4 + n * 2;
    return n;
}
CdDevice* open_scripted(int letter) { return new ScriptedDevice(&g_scripts[(letter - 4) / 2]); }

// Titles across packs, a tab (the same again) for track 2, and track 3's
// title broken by a damaged pack; behind the size header of a raw read.
std::vector<uint8_t> cdtext_packs()
{
    std::vector<uint8_t> out(4 + 3 * 18);
    out[1] = 3 * 18 + 2;
    make_cdtext_pack(&out[4], 0x80, 0, 0, 0, "Album\0Openin");
    make_cdtext_pack(&out[22], 0x80, 1, 1, 6, "g\0\t\0Closing ");
    make_cdtext_pack(&out[40], 0x80, 3, 2, 8, "Time\0\0\0\0\0\0\0");
    out[50] ^= 0x40;
    return out;
}

TEST(OpticalDrives, EveryDriveIsTheDiscItsScriptDescribes)
{
    for (CDLIB_DWORD drive = 0; drive < g_scripts.size(); ++drive) {
        check_drive(drive, g_scripts[drive].row);
        EXPECT_LE(g_scripts[drive].requests, g_scripts[drive].most_requests) << g_scripts[drive].row.says;
    }
    EXPECT_EQ(BASS_ErrorGetCode(), CDLIB_ERROR_NOCD) << "the last read, of the disc taken out, says why it failed";
    EXPECT_EQ(drive_summary(g_scripts.size() - 1), "gone S: no disc | - |") << "and the disc is out";
    EXPECT_TRUE(BASS_CD_GetDriveDescription(g_scripts.size()) == nullptr);
}

}  // namespace

int main(int argc, char** argv)
{
    testing::InitGoogleTest(&argc, argv);
    // Read errors on track 2 (sectors 100 to 199) of otherwise equal discs.
    std::string errors = " 2 tracks 100 100 | 05000202 2 150 250 4 |";
    std::string silenced = " sectors could not be read and were given as silence\n";
    std::string ninety_nine = "99-tracks K: 99 tracks", offsets, t1 = sectors(0, 100);
    g_scripts = {
        {{"plain E: 3 tracks 18000 15000 27000 | 14032003 3 150 18150 33150 802 | TITLE0=Album TITLE1=Opening TITLE2=Opening"},
         {0, 18000 | kCopy, 33000}, 60000, cdtext_packs()},
        {{"enhanced G: 3 tracks 20000 18600 data | 2603a503 3 150 20150 50150 935 |"}, {0, 20000, 50000 | kData}, 70000},
        {{"data-first I: 3 tracks data 10000 5000 | 11019003 3 150 15150 25150 402 |"}, {kData, 15000 | kCopy, 25000}, 30000},
        {{}, {}, 99000},
        // Sector 110 reads at its third try of its own.
        {{"flaky M:" + errors, {t1, sectors(100, 100)}}, {0, 100}, 200, {}, {{110, 3}, {140, 1}}, {}, 0, 48},
        {{"silenced O:" + errors, {t1, sectors(100, 100, {110})}, "track 2: 1" + silenced}, {0, 100}, 200, {}, {{110, 4}}, {}, 0, 32},
        {{"bad Q:" + errors, {t1, sectors(100, 100, {177, 199})}, "track 2: 2" + silenced}, {0, 100}, 200, {}, {}, {177, 199}, 0, 38},
        // Taken out at sector 170: the 64 sectors read ahead come in whole
        // 20,000-byte blocks, then the stream ends at once, no retry storm.
        {{"gone S:" + errors, {t1, sectors(100, 100).substr(0, 140000)}}, {0, 100}, 200, {}, {}, {}, 170, 15},
    };
    for (uint32_t i = 0; i < 99; ++i) {
        g_scripts[3].starts.push_back(i * 1000);
        ninety_nine += " 1000";
        offsets += " " + std::to_string(150 + i * 1000);
    }
    g_scripts[3].row.says = ninety_nine + " | 1e052863 99" + offsets + " 1322 |";
    static const CdDeviceSource source = {list_scripted, open_scripted};
    cdlib_set_device_source(&source);
    CDLIB_SetLogProc(capture_log);
    return RUN_ALL_TESTS();
}
