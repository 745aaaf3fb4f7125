// The commands of the test CD-ROM drives, for the scenario runner's
// `device` step:
//
//   insert D: SHEET.cue [keep]  the disc of a cue sheet (BINARY files, raw
//                         CD-TEXT packs from CDTEXTFILE, CATALOG, ISRC);
//                         its sectors are written beside it as SHEET.img,
//                         their Q frames as SHEET.q. keep: the drive's
//                         refusals and stale status stay (the same drive
//                         with another disc); without it they end
//   eject D:
//   fail D: SECTOR N [MS] the next N reads that reach SECTOR fail (N = -1:
//                         it never reads), each after MS milliseconds
//   garble D: SECTOR N [1]  the next N reads that reach SECTOR give wrong
//                         samples there, without an error (N = -1: always);
//                         1: the drive's C2 error pointers flag them
//   cache D: N [c2] [fua-ignored]  the drive answers re-reads of the last N
//                         sectors it read from its cache (until the next
//                         disc without keep); c2: it gives C2 error
//                         pointers; fua-ignored: Force Unit Access too
//   offset D: N           at sample position p the drive gives the disc's
//                         sample p - N (silence beyond the disc): a drive
//                         whose correction is +N
//   refuse D: KIND N STATUS  the next N requests of KIND (verify2, text,
//                         scsi: SCSI pass-through, as a system that passes
//                         no commands to the drive) fail with the NTSTATUS
//                         (hex; N = -1: every one; STATUS 0: succeed giving
//                         nothing back)
//   stale D: STATUS       handles opened before the last media change fail
//                         with STATUS (hex) instead of STATUS_VERIFY_REQUIRED
//   speed D: N            reads at most N times real time (0: no limit)
//   reads D: TOC RAW      fails unless the drive was asked for its TOC or
//                         CD-TEXT TOC times and read from at most RAW times
//                         since the disc last went in or out
//
// A data track last, after audio, is put in a second session as on an
// enhanced CD: it starts kEnhancedCdGap sectors after the audio ends.
#include <windows.h>
#include <winioctl.h>
#include <ntddcdrm.h>
#include <ntddscsi.h>

#include <cstdio>
#include <cstdlib>
#include <sstream>
#include <string>
#include <vector>

#include "cdlib/cdtext.h"
#include "cdlib/cue.h"
#include "cdlib/image_layout.h"
#include "cdlib/qsub.h"
#include "tests/cdrom/control.h"
#include "tests/support/harness.h"

namespace {

std::string folder_of(const std::string& path) { return path.substr(0, path.find_last_of('\\') + 1); }

bool read_bytes(void* files, int file, uint64_t offset, void* buffer, uint32_t bytes)
{
    FILE* f = static_cast<std::vector<FILE*>*>(files)->at(file);
    memset(buffer, 0, bytes);
    return _fseeki64(f, static_cast<int64_t>(offset), SEEK_SET) == 0 && (fread(buffer, 1, bytes, f), !ferror(f));
}

void put_msf(uint8_t* entry, int track, uint8_t control, uint32_t lba)
{
    uint32_t frames = lba + kLeadInFrames;
    uint8_t bytes[8] = {0, static_cast<uint8_t>(0x10 | control), static_cast<uint8_t>(track), 0, 0,
                        static_cast<uint8_t>(frames / 4500), static_cast<uint8_t>(frames / 75 % 60), static_cast<uint8_t>(frames % 75)};
    memcpy(entry, bytes, 8);
}

// The Q frame of every sector into the file at `path`; its catalogue
// number and ISRCs into `c`.
bool write_subchannel(const CueSheet& sheet, const ImageLayout& layout, const std::string& path, OrvoCommand* c)
{
    FILE* out = fopen(path.c_str(), "wb");
    uint8_t q[kQFrameBytes];
    for (uint32_t lba = 0; out && lba < layout.toc.leadout; ++lba) {
        ImagePosition at = image_position(layout, lba);
        make_q_position(q, layout.toc.tracks[at.track].control, layout.toc.first + at.track, at.index, at.relative,
                        static_cast<int32_t>(lba));
        fwrite(q, 1, sizeof q, out);
    }
    c->q_sectors = layout.toc.leadout;
    snprintf(c->catalog, sizeof c->catalog, "%s", sheet.catalog.c_str());
    for (size_t i = 0; i < sheet.tracks.size() && i < 99; ++i)
        snprintf(c->isrc[i], sizeof c->isrc[i], "%s", sheet.tracks[i].isrc.c_str());
    return out && fclose(out) == 0;
}

// The TOC, CD-TEXT and sub-channel of the sheet into `c`, its sectors into
// the image file, their Q frames beside it; "" when done, else why not.
std::string make_disc(const std::string& cue_path, OrvoCommand* c, std::string* image)
{
    std::string text = harness::read_file(cue_path), why, folder = folder_of(cue_path);
    CueSheet sheet;
    if (!parse_cue(text.data(), text.size(), &sheet, &why)) return why;
    std::vector<FILE*> files;
    std::vector<ImageFileInfo> infos;
    for (const CueFile& f : sheet.files) {
        files.push_back(fopen((folder + f.name).c_str(), "rb"));
        if (!files.back() || f.type != CueFileType::Binary) return f.name + ": no such BINARY file";
        _fseeki64(files.back(), 0, SEEK_END);
        infos.push_back({0, static_cast<uint64_t>(_ftelli64(files.back()))});
    }
    ImageLayout layout;
    if (!build_image_layout(sheet, infos, &layout, &why)) return why;
    Toc& toc = layout.toc;
    *image = cue_path.substr(0, cue_path.size() - 4) + ".img";
    FILE* out = fopen(image->c_str(), "wb");
    std::vector<uint8_t> sector(kSectorBytes);
    for (uint32_t lba = 0; out && lba < toc.leadout && read_image_sectors(layout, lba, 1, sector.data(), read_bytes, &files); ++lba)
        fwrite(sector.data(), 1, kSectorBytes, out);
    for (FILE* f : files) fclose(f);
    if (!out || fclose(out) != 0) return "cannot write " + *image;
    std::string q_path = cue_path.substr(0, cue_path.size() - 4) + ".q";
    if (!write_subchannel(sheet, layout, q_path, c)) return "cannot write " + q_path;
    swprintf(c->q_image, sizeof c->q_image / sizeof c->q_image[0], L"\\??\\%hs", q_path.c_str());
    int n = toc.count;
    if (n > 1 && toc.tracks[n - 2].audio && !toc.tracks[n - 1].audio) {
        toc.tracks[n - 1].start += kEnhancedCdGap;
        toc.leadout += kEnhancedCdGap;
    }
    c->toc_bytes = 4 + 8 * (n + 1);
    const uint8_t head[4] = {static_cast<uint8_t>((c->toc_bytes - 2) >> 8), static_cast<uint8_t>(c->toc_bytes - 2),
                             static_cast<uint8_t>(toc.first), static_cast<uint8_t>(toc.first + n - 1)};  // data length, first and last track
    memcpy(c->toc, head, sizeof head);
    for (int i = 0; i <= n; ++i)
        put_msf(c->toc + 4 + 8 * i, i < n ? toc.first + i : 0xAA, i < n ? toc.tracks[i].control : 0, i < n ? toc.tracks[i].start : toc.leadout);
    std::string packs = sheet.cdtext_file.empty() ? "" : harness::read_file(folder + sheet.cdtext_file);
    if (packs.size() % kCdTextPackBytes == 0 && !packs.empty()) packs = std::string(4, '\0') + packs;  // the drive's header
    if (packs.size() > sizeof c->text) return "CD-TEXT too long";
    c->text_bytes = static_cast<unsigned long>(packs.size());
    memcpy(c->text, packs.data(), packs.size());
    if (packs.empty()) return "";
    c->text[0] = static_cast<uint8_t>((packs.size() - 2) >> 8);
    c->text[1] = static_cast<uint8_t>(packs.size() - 2);
    return "";
}

}  // namespace

std::string device_command(const std::string& line)
{
    static OrvoCommand c;
    c = OrvoCommand();
    std::string op, letter, sheet, image, why, kind;
    std::istringstream words(line);
    words >> op >> letter;
    const char* ops[] = {"", "insert", "eject", "fail", "speed", "reads", "refuse", "stale", "garble", "offset", "cache"};
    for (unsigned long i = 1; i < 11; ++i) c.op = op == ops[i] ? i : c.op;
    if (c.op == kOrvoCache && words >> c.count)
        for (std::string flag; words >> flag;) c.ms |= flag == "c2" ? kOrvoC2 : flag == "fua-ignored" ? kOrvoFuaIgnored : 0x100;
    bool ok = c.op == kOrvoInsert  ? words >> sheet && (!(words >> kind) || (c.count = kind == "keep"))
              : c.op == kOrvoSpeed || c.op == kOrvoOffset ? !!(words >> c.count)
              : c.op == kOrvoStale ? !!(words >> std::hex >> c.status)
              : c.op == kOrvoRefuse ? words >> kind >> c.count >> std::hex >> c.status &&
                                          (c.code = kind == "verify2" ? IOCTL_STORAGE_CHECK_VERIFY2 : kind == "text" ? IOCTL_CDROM_READ_TOC_EX
                                                  : kind == "scsi"  ? IOCTL_SCSI_PASS_THROUGH : 0)
              : c.op == kOrvoCache ? c.ms < 0x100 && words.eof()
              : c.op == kOrvoEject || (words >> c.sector >> c.count && (words >> c.ms || words.eof()));
    if (!c.op || !ok || letter.size() != 2)
        return "insert|eject|fail|garble|speed|offset|reads|refuse|stale|cache D: [SHEET.cue [keep] | SECTOR N [MS] | N | TOC RAW | "
               "KIND N STATUS | STATUS | N [c2] [fua-ignored]]";
    char full[MAX_PATH];
    if (c.op == kOrvoInsert && !GetFullPathNameA(sheet.c_str(), sizeof full, full, nullptr)) return "no such sheet";
    if (c.op == kOrvoInsert && !(why = make_disc(full, &c, &image)).empty()) return why;
    swprintf(c.image, sizeof c.image / sizeof c.image[0], L"\\??\\%hs", image.c_str());
    HANDLE drive = CreateFileA(("\\\\.\\" + letter).c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
    DWORD returned = 0;
    OrvoCounts counts = {};
    bool sent = drive != INVALID_HANDLE_VALUE && DeviceIoControl(drive, ORVO_IOCTL_COMMAND, &c, sizeof c, &counts, sizeof counts, &returned, nullptr);
    if (drive != INVALID_HANDLE_VALUE) CloseHandle(drive);
    if (!sent) return "the drive refused the command (error " + std::to_string(GetLastError()) + ")";
    if (c.op != kOrvoCount || (counts.toc_reads == static_cast<unsigned long>(c.sector) && counts.raw_reads <= static_cast<unsigned long>(c.count)))
        return "";
    return std::to_string(counts.toc_reads) + " TOC and " + std::to_string(counts.raw_reads) + " sector reads";
}
