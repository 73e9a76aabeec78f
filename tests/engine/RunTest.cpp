// Whole runs in virtual time, one row each: what the target or the port does at one
// point of a run, and how the run ends.
#include <cmath>

#include "tests/engine/Rig.h"

namespace zerviko::test {
namespace {

struct Row {
  std::vector<const char*> faults{};  // the virtual printer's, as zerviko-target --fault takes them
  std::vector<Cue> cues{};
  std::function<void(Rig&)> setup{};
  Bytes image = Pattern(200);
  std::optional<std::int32_t> noImage{};  // run without an image, with this size
  std::string error{};   // "": the run succeeds. {dir} and {port} stand for the rig's folder and port
  std::string before{};  // the message before the error (before the last of a success) begins so
  std::string has{};     // some message begins so
  std::string trace{};   // the commands the target took
  int percent = -1;      // of the last message
  double timeout = -1;   // the error comes exactly this long after the read timeout was chosen
  std::function<void(Rig&)> check{};
};
struct Case {
  const char* name;
  Row row;
};
void PrintTo(const Case& c, std::ostream* out) { *out << c.name; }

std::string Expand(std::string text, const Rig& rig) {
  auto put = [&](const std::string& key, const std::string& value) {
    for (std::size_t at; (at = text.find(key)) != std::string::npos;) text.replace(at, key.size(), value);
  };
  put("{dir}", Folder());
  put("{port}", rig.options.portName);
  return text.substr(0, 255);
}

class Runs : public ::testing::TestWithParam<Case> {};

TEST_P(Runs, EndAsTheRowSays) {
  const Row& c = GetParam().row;
  Rig rig;
  for (const char* text : c.faults) {
    sim::Fault fault;
    EXPECT_TRUE(sim::ParseFault(text, &fault, nullptr)) << text;
    rig.config.faults.push_back(fault);
  }
  rig.cues = c.cues;
  if (c.setup) c.setup(rig);
  const bool ok = c.noImage ? rig.Run(nullptr, *c.noImage)
                            : rig.Run(c.image.data(), static_cast<std::int32_t>(c.image.size()));
  const auto& m = rig.messages;
  ASSERT_FALSE(m.empty());
  EXPECT_EQ(ok, c.error.empty()) << m.back().text;
  EXPECT_TRUE(ok || rig.Error() == Expand(c.error, rig)) << m.back().text;
  EXPECT_TRUE(!ok || m.back().percent == 100);
  EXPECT_TRUE(c.before.empty() || m.end()[-2].text.rfind(Expand(c.before, rig), 0) == 0) << m.end()[-2].text;
  EXPECT_TRUE(c.has.empty() || rig.Find(c.has)) << c.has;
  EXPECT_TRUE(c.trace.empty() || rig.Trace() == c.trace) << rig.Trace();
  EXPECT_TRUE(c.percent < 0 || m.back().percent == c.percent) << m.back().percent;
  const double waited = m.back().at - rig.timeoutAt;
  EXPECT_TRUE(c.timeout < 0 || std::abs(waited - c.timeout) < 1e-6) << waited;
  if (c.check) c.check(rig);
}

const char* const kNoAck = "No acknowledge from target";
const char* const kGarbled = "Incomprehensible reply from target";
const char* const kNotErased = "Error, kernel says: NOT_ERASE_ERROR";
const std::string kSent = "3F 06 20 10 26 40 48 48.0 48.1 48.FF 4D 43";  // all before the first block

Cue Answer(const char* after, int nth, Bytes bytes) { return {.after = after, .nth = nth, .bytes = bytes}; }
Cue Late(const char* after, int nth, double ms) { return {.after = after, .nth = nth, .delayMs = ms}; }
Cue Fails(const char* after, const char* op, int nth = 1) {
  return {.after = after, .op = op, .nth = nth, .fail = true};
}
Cue Devices(Bytes payload) { return Answer("Reading supported", 1, InquiryReply(0x20, payload, false)); }
Cue EraseBlocks(Bytes payload) { return Answer("Reading erase block", 1, InquiryReply(0x26, payload, true)); }
void Boot(Rig& r) { r.options.residentKernel = 0; }
void Blank(Rig& r) { r.config.blankAtStart = true; }
std::function<void(Rig&)> List(std::vector<std::int32_t> list, std::uint32_t start = 0, bool blank = false) {
  auto kept = std::make_shared<std::vector<std::int32_t>>(list);
  kept->push_back(255);  // never a null list, even an empty one; and never read
  return [=](Rig& r) {
    r.options.eraseBlocks = kept->data();
    r.options.eraseBlockCount = static_cast<std::int32_t>(list.size());
    r.options.startAddress = start;
    r.config.blankAtStart = blank;
  };
}
std::function<void(Rig&)> MicroKernel(long size) {  // none when negative
  return [size](Rig& r) {
    Boot(r);
    r.options.microKernelPath = size < 0 ? Folder() + "/none.cde" : File("big.cde", MicroKernelBytes(size));
  };
}
auto LogIs(std::string log) {
  return [log](Rig& r) { EXPECT_EQ(r.log, log); };
}
auto WrittenSince(std::string message, std::size_t bytes) {
  return [=](Rig& r) { EXPECT_EQ(r.WrittenSince(message), bytes); };
}

INSTANTIATE_TEST_SUITE_P(Engine, Runs, ::testing::Values(
    // Each answer in its own time, and not a moment longer.
    Case{"clock_ack", {.cues = {Late("Setting baud", 10, 200.5)}, .error = kNoAck, .timeout = 200}},
    Case{"ack_at_new_rate", {.cues = {Late("Setting baud", 11, 200.5)}, .error = kNoAck, .timeout = 200}},
    Case{"device_list", {.cues = {Late("Reading supported", 1, 100.5)}, .error = kGarbled, .timeout = 100}},
    Case{"selection_ack", {.cues = {Late("Selecting device", 7, 100.5)}, .error = kNoAck, .timeout = 100}},
    Case{"load_command_ack", {.cues = {Late("Loading main", 1, 100.5)}, .error = kNoAck, .timeout = 100}},
    Case{"module_ack", {.cues = {Late("Sending checksum", 1, 3000.5)}, .error = kNoAck, .timeout = 3000}},
    Case{"erase_ack", {.cues = {Late("Erasing block 0", 4, 10000.5)}, .error = kNoAck, .timeout = 10000}},
    Case{"end_of_erase_ack", {.cues = {Late("Erasing block 1", 8, 100.5)}, .error = kNoAck, .timeout = 100}},
    Case{"blank_check_ack", {.cues = {Late("Performing", 1, 100.5)}, .error = kNoAck, .timeout = 100}},
    Case{"block_ack", {.cues = {Late("Writing block 0000", 134, 1000.5)}, .error = kNoAck, .timeout = 1000}},
    Case{"end_of_write_ack", {.cues = {Late("Writing block 0080", 140, 100.5)}, .error = kNoAck,
         .percent = 64, .timeout = 100}},
    Case{"error_code", {.cues = {Answer("Setting baud rate", 10, {0xBF})},
         .error = "Received incomplete error code from target", .timeout = 100}},
    Case{"boot_proceed", {.cues = {Late("Synching at", 2, 10000.5)}, .setup = Boot,
         .error = "Communications error [323]", .timeout = 10000}},
    // The last byte's echo in time, the boot program's answer never.
    Case{"boot_download_answer", {.cues = {Answer("Downloading image", 302, {0x4C})}, .setup = Boot,
         .error = "Communications error [346]", .timeout = 10000}},
    Case{"echo_ring_full", {.faults = {"silent:echo"}, .setup = Boot, .error = "Echo timeout", .timeout = 200,
         .check = WrittenSince("Downloading image", 100)}},
    Case{"late_echoes_drained", {.cues = {Late("Downloading image", 0, 300)}, .setup = MicroKernel(20),
         .error = "Communications error [216]", .timeout = 200}},
    // A hundred echoes on their way, and at the end the boot program's answer with the last.
    Case{"hundred_in_flight", {.cues = {Late("Downloading image", -302, 300)}, .setup = Boot,
                               .check = [](Rig& r) { EXPECT_EQ(r.maxPending, 101u); }}},
    // Ctrl-C is left for the next block: the line reset's 2 s go as they always went.
    Case{"silent_boot_program",
         {.faults = {"silent:sync"}, .setup = [](Rig& r) { Boot(r), r.ctrlCAt = 1000; },
          .error = "No reply from target", .check = [](Rig& r) {
            EXPECT_NEAR(r.messages.back().at - r.timeoutAt, 2000, 11000.0 / 9600);
            EXPECT_NEAR(r.written.size(), 2000 / (11000.0 / 9600), 2) << "zeros back to back";
          }}},
    // A restart by hand: the lines left alone, the user asked, thirty seconds to do it in,
    // and whatever the printer said meanwhile discarded before the first zero.
    Case{"silent_boot_program_reset_by_hand",
         {.faults = {"silent:sync"},
          .setup = [](Rig& r) { Boot(r), r.options.resetMethod = ResetMethod::Manual, r.config.startInBootMode = true; },
          .error = "No reply from target", .before = "Synching at 9600 baud", .has = PROMPT_BOOT_MODE,
          .check = [](Rig& r) {
            EXPECT_NEAR(r.messages.back().at - r.timeoutAt, 30000, 11000.0 / 9600);
            EXPECT_EQ(r.log, "O U100,0 F B9600 P T0 C");
            EXPECT_NEAR(r.waits, 300, 5) << "a chance to hear Ctrl-C every 100 ms, not at every zero";
          }}},
    // A printer still in its kernel refuses each zero (0x80 0x80) until it is restarted.
    Case{"kernel_answers_before_the_reset_by_hand",
         {.cues = {{.after = "Synching at", .nth = 500, .handReset = true}},
          .setup = [](Rig& r) { Boot(r), r.options.resetMethod = ResetMethod::Manual; },
          .before = PROMPT_USER_MODE, .check = [](Rig& r) {
            ASSERT_TRUE(r.Find("Downloading image"));
            EXPECT_EQ(r.WrittenSince("Synching at") - r.WrittenSince("Downloading image"), 501u)
                << "each zero's refusal read out before the next zero, so the 500th zero's answer ends the "
                   "synchronisation; then 0x55";
          }}},
    // Ctrl-C while the user is to restart the printer: heard within a second.
    Case{"interrupted_during_the_reset_by_hand",
         {.faults = {"silent:sync"},
          .setup = [](Rig& r) {
            Boot(r), r.options.resetMethod = ResetMethod::Manual, r.config.startInBootMode = true, r.ctrlCAt = 5000;
          },
          .error = "Programming aborted", .before = "Synching at 9600 baud", .check = [](Rig& r) {
            EXPECT_GT(r.messages.back().at, 5000);
            EXPECT_LT(r.messages.back().at, 6000);
            EXPECT_EQ(r.log, "O U100,0 F B9600 P T0 C");
          }}},
    Case{"reset_by_hand_at_both_ends",
         {.setup = [](Rig& r) { Boot(r), r.options.resetMethod = ResetMethod::Manual, r.config.startInBootMode = true; },
          .before = PROMPT_USER_MODE, .check = [](Rig& r) {
            EXPECT_EQ(r.log.find('R'), std::string::npos);
            EXPECT_EQ(r.log.find('D'), std::string::npos);
            const Bytes again = Pattern(300, 7);  // the printer waits in its boot program again
            EXPECT_TRUE(r.Run(again.data(), 300)) << r.messages.back().text;
          }}},

    // The boot program's answers and echoes (the refusals and a bad echo: the boot-mode
    // runs of zerviko-flash over a pty).
    Case{"sync_answer", {.faults = {"error:sync:0x7F"}, .setup = Boot,
         .error = "Bad reply from target, 0x7F instead of 0x00"}},
    Case{"bad_late_echo", {.faults = {"bad-echo:21"}, .cues = {Late("Downloading image", 0, 150)},
         .setup = MicroKernel(20), .error = "Communications error [217]"}},
    Case{"micro_kernel_65535", {.setup = MicroKernel(65535)}},
    // Downloaded and acknowledged; the printer cannot run it, so the kernel never answers.
    Case{"micro_kernel_empty", {.setup = MicroKernel(0), .error = kNoAck, .before = "Setting baud rate"}},
    Case{"micro_kernel_65536", {.setup = MicroKernel(65536),
         .error = "Image {dir}/big.cde is longer than 65535", .check = LogIs("O U100,0 C")}},
    Case{"micro_kernel_missing", {.setup = MicroKernel(-1), .error = "Can't open {dir}/none.cde",
         .check = LogIs("O U100,0 C")}},

    // The kernel's complaints, and replies that are not.
    // The code read as soon as it is there, and the host's rate left as it was.
    Case{"clock_refused", {.faults = {"error:0x3F:0x24"}, .error = "Error, kernel says: BAUD_RATE_ERROR",
                           .timeout = 0, .check = [](Rig& r) { EXPECT_EQ(r.log.find(" B1"), r.log.npos); }}},
    // No second byte waited for.
    Case{"not_an_error_reply", {.cues = {Answer("Setting", 10, {0x15})},
         .error = "Unexpected reply from target", .timeout = 0}},
    Case{"inquiry_error", {.faults = {"error:0x20:0x80"}, .error = kGarbled}},
    Case{"block_refused", {.faults = {"error:0x50:0x53:2"}, .error = "Error, kernel says: WRITE_ERROR",
         .percent = 64}},
    Case{"end_of_write_refused", {.faults = {"error:0x50:0x80:3"},
         .error = "Error, kernel says: COMMAND_ERROR", .percent = 64}},
    Case{"address_refused_before_the_data", {.setup = [](Rig& r) { r.options.startAddress = 0x2000; },
         .error = "Error, kernel says: WRITE_ADDRESS_ERROR", .check = WrittenSince("Writing", 5)}},
    Case{"module_stopped_within_a_byte", {.cues = {Answer("Sending image size", 14, {0xC0, 0x12})},
         .error = "Error, kernel says: PRG_SIZE_ERROR", .check = WrittenSince("Sending image size", 14)}},
    Case{"module_too_large",
         {.setup = [](Rig& r) { r.options.mainKernelPath = File("big.cde", Bytes(0x10001)); },
          .error = "Error, kernel says: PRG_SIZE_ERROR", .before = "Sending image size"}},
    Case{"wrong_module", {.setup = [](Rig& r) { r.options.mainKernelPath = r.options.eraseModulePath; },
                          .error = "Error, kernel says: SUM_ERROR", .before = "Waiting for acknowledge"}},
    Case{"stuck_block", {.setup = [](Rig& r) { r.config.stuckBlocks = {1}; }, .error = kNotErased,
                         .before = "Performing a blank check"}},
    Case{"short_header", {.faults = {"cut:0x20:1"}, .error = kGarbled}},
    Case{"short_wide_header", {.faults = {"cut:0x26:2"}, .error = kGarbled}},
    Case{"short_payload", {.faults = {"cut:0x20:6"}, .error = "Incomplete reply from target"}},
    Case{"no_checksum", {.faults = {"cut:0x26:20"}, .error = "Incomplete reply from target"}},
    Case{"bad_checksum", {.faults = {"bad-checksum:0x20"}, .error = "Checksum error"}},
    Case{"too_long_reply", {.cues = {Answer("Reading erase block", 1, {0x36, 0x08, 0x02})},
         .error = "Unexpectedly long reply from target"}},

    // Device and erase-block lists.
    Case{"no_count_byte", {.cues = {Devices({})}, .error = kGarbled}},
    Case{"record_without_code", {.cues = {Devices({1, 3, '2', '3', '2'})}, .error = kGarbled}},
    Case{"record_past_the_end", {.cues = {Devices({1, 9, '2', '3', '2', '9', 'Z', 'V'})}, .error = kGarbled}},
    Case{"fewer_records", {.cues = {Devices({2, 4, '2', '3', '2', '9'})}, .error = kGarbled}},
    Case{"no_devices", {.setup = [](Rig& r) { r.config.devices.clear(); },
         .error = "Device 2329 not supported by this kernel", .has = "This kernel supports 0"}},
    Case{"no_device_name", {.setup = [](Rig& r) { r.options.deviceName.reset(); },
                            .trace = "3F 06 20 26 40 48 48.0 48.1 48.FF 4D 43 50.0 50.80 50.FFFFFFFF"}},
    Case{"empty_block_list", {.cues = {EraseBlocks({})}, .error = "Invalid erase block list"}},
    Case{"largest_block_reply", {.cues = {EraseBlocks([] { Bytes b(2049); b[0] = 255; return b; }())},
                                 .error = "Invalid erase block list"}},
    Case{"no_erase_blocks", {.cues = {EraseBlocks({0})}, .setup = Blank, .has = "There are 0 erase blocks",
         .trace = "3F 06 20 10 26 40 48 48.FF 4D 43 50.0 50.80 50.FFFFFFFF"}},
    Case{"block_of_2_GiB", {.cues = {EraseBlocks({1, 0, 0, 0, 0, 0x80, 0, 0, 0})}, .setup = Blank,
         .has = "Block 0: 0x00000000..0x80000000, 2147483649 bytes"}},

    // Erase lists and images.
    Case{"callers_list", {.setup = List({1}, 0x1000),
         .trace = "3F 06 20 10 26 40 48 48.1 48.FF 43 50.1000 50.1080 50.FFFFFFFF"}},
    Case{"callers_empty_list", {.setup = List({}, 0, true),
         .trace = "3F 06 20 10 26 40 48 48.FF 43 50.0 50.80 50.FFFFFFFF"}},
    Case{"block_out_of_range", {.setup = List({0, 2, 1}), .error = "Erase block 2 out of range",
         .trace = "3F 06 20 10 26"}},
    Case{"minus_1", {.setup = List({-1}), .error = "Erase block -1 out of range", .trace = "3F 06 20 10 26"}},
    Case{"block_minus_256", {.setup = List({-256}), .error = "Erase block -256 out of range",
         .trace = "3F 06 20 10 26"}},
    Case{"erased_image", {.image = Bytes(1000, 0xFF), .before = "Written 0 blocks, skipped 8",
         .trace = kSent + " 50.FFFFFFFF"}},
    Case{"no_image", {.noImage = 0, .before = "Written 0 blocks, skipped 0 empty blocks"}},
    Case{"image_without_data", {.noImage = 5, .error = "Invalid image size 5", .check = LogIs("C")}},
    Case{"negative_image_size", {.noImage = -1, .error = "Invalid image size -1", .check = LogIs("C")}},
    Case{"one_byte_in_a_piece", {.image = [] { Bytes b(128, 0xFF); b[77] = 0; return b; }(),
                                 .before = "Written 1 blocks", .trace = kSent + " 50.0 50.FFFFFFFF"}},
    Case{"addresses_wrap",
         {.setup = [](Rig& r) { List({}, 0xFFFFFF80, true)(r), r.config.eraseBlocks = {{0xFFFFFF80, ~0u}}; },
          .image = Pattern(256), .error = "Error, kernel says: WRITE_ADDRESS_ERROR",
          .before = "Writing block 0000..007F", .has = "Writing block FFFFFF80..FFFFFFFF", .percent = 50}},
    Case{"abort", {.setup = [](Rig& r) { r.abortAt = "Writing block 0080..00FF"; }, .image = Pattern(1000),
                   .error = "Programming aborted", .trace = kSent + " 50.0 50.80", .percent = 12}},
    Case{"abort_before_an_empty_piece", {.setup = [](Rig& r) { r.abortAt = "Writing block 0000..007F"; },
         .image = [] { Bytes b = Pattern(256); std::fill(b.begin() + 128, b.end(), 0xFF); return b; }(),
         .error = "Programming aborted", .trace = kSent + " 50.0"}},
    Case{"missing_module", {.setup = [](Rig& r) { r.options.eraseModulePath = Folder() + "/none.cde"; },
                            .error = "Can't open {dir}/none.cde", .trace = "3F 06 20 10 26 40 48"}},
    Case{"folder_as_module",
         {.setup = [](Rig& r) { r.options.mainKernelPath = Folder(); }, .error = "Can't open {dir}"}},
    Case{"module_over_4_GiB", {.setup = [](Rig& r) {
           r.options.writeModulePath = File("huge", {});
           std::filesystem::resize_file(r.options.writeModulePath, std::uintmax_t{1} << 32);
         }, .error = "Image {dir}/huge is longer than 4294967295"}},
    Case{"long_port_name", {.cues = {Fails("", "O")},
         .setup = [](Rig& r) { r.options.portName.resize(400, '.'); }, .error = "Can't open {port}"}},
    // Cut at a whole letter: "Can't open " and 81 of these three-byte letters fill 254 bytes.
    Case{"long_utf8_port_name", {.cues = {Fails("", "O")},
         .setup = [](Rig& r) { r.options.portName.clear(); for (int i = 0; i < 100; ++i) r.options.portName += "\u6d4b"; },
         .error = [] { std::string text = "Can't open "; for (int i = 0; i < 81; ++i) text += "\u6d4b"; return text; }()}},
    Case{"234", {.faults = {"error:0x3F:0x80"}, .cues = {Fails("Setting baud rate", "T100")},
         .error = "Communication port error [234]"}},
    Case{"235", {.faults = {"error:0x3F:0x80"}, .cues = {Fails("Setting baud rate", "r", 2)},
         .error = "Communications error [235]"}}),
    [](const auto& info) { return std::string(info.param.name); });

// Every call of a port operation fails in turn, in each flow: the run ends with the
// message of the place where it failed, and nothing goes out after it. The messages as
// they come, each once however often it comes in a row; none where a flow makes no call.
TEST(Sweep, EachFailedPortCallEndsTheRunWithTheMessageOfItsPlace) {
  const std::string sync = "Syncronization baud rate not supported by host";
  const std::string kernel[] = {
      "264|461|264|461|264|382|252|264|382|252|264|382|252|264|252|264|252|264",
      "161|Baud rate setting error|457|161|457|161|441|161",
      "265|462|475|482|265|462|475|482|265|253|265|253|265|253|265|253|265|253|265"};
  const struct {
    const char* op;
    std::string resident, boot;  // the boot flow up to its first failure once the kernel runs
  } rows[] = {{"O", "Can't open /dev/ttyTEST", "Can't open /dev/ttyTEST"},
              {"U", "Can't allocate communications buffers", "Can't allocate communications buffers"},
              {"F", sync, sync},
              {"B", sync + "|Baud rate not supported by host", sync + "|Baud rate not supported by host"},
              {"R", "", "296|923"},
              {"D", "", "296|923"},
              {"P", "", "296|923"},
              {"T", kernel[0], "301|322|195|191|211|345|264"},
              {"W", kernel[1], "310|321|185|161"},
              {"r", kernel[2], "313|323|196|Echo timeout|216|346|265"}};
  for (const auto& row : rows) {
    for (bool boot : {false, true}) {
      std::string seen;
      for (int k = 1;; ++k) {
        Rig rig;
        rig.cues = {Fails("", row.op, k)};
        if (boot) {
          MicroKernel(150)(rig);
          rig.cues.push_back(Late("Downloading image", -152, 300));  // enough to fill the echo ring
        }
        const Bytes image = Pattern(200);
        const bool ok = rig.Run(image.data(), 200);
        SCOPED_TRACE(std::string(row.op) + " " + std::to_string(k));
        EXPECT_EQ(ok, rig.cues[0].seen < k);
        if (rig.cues[0].seen < k) break;  // the run made fewer calls
        std::string text = rig.Error();
        EXPECT_TRUE(row.op != std::string("W") || rig.written.size() == static_cast<std::size_t>(k - 1));
        EXPECT_EQ(rig.written.size(), rig.messages.back().written) << "nothing goes out after a failure";
        EXPECT_EQ(rig.log.substr(rig.log.size() - 2), " C") << "and the port is closed";
        if (const auto open = text.find('['); open != std::string::npos) text = text.substr(open + 1, 3);
        if (seen.size() < text.size() || seen.substr(seen.size() - text.size()) != text)
          seen += (seen.empty() ? "" : "|") + text;
        if (boot && rig.Find("Setting baud rate")) break;
      }
      EXPECT_EQ(seen, boot ? row.boot : row.resident) << row.op << (boot ? " boot" : "");
    }
  }
}

}  // namespace
}  // namespace zerviko::test
