// The board records on disk: SHA-256, the JSON line, the monthly files with their
// torn lines, eight writers at once, the query's filter and the line settings.

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <thread>

#include "cli_runner.h"
#include "record_samples.h"
#include "records/image_digests.h"
#include "records/job_file.h"
#include "records/line_settings.h"
#include "records/record_json.h"
#include "records/record_query.h"
#include "records/record_store.h"
#include "records/report.h"
#include "records/sha256.h"
#include "records/text_escape.h"
#include "records/json_reader.h"
#include "sim/sim_host.h"
#include "temp_dir.h"

namespace korvex {
namespace {

std::string Hex(const Sha256Digest& digest) {
  std::string text;
  AppendHex(text, digest);
  return text;
}

// Both engines, the CPU's only where it has the instructions.
TEST(Sha256, StandardVectorsWhateverTheChunks) {
  const std::string million(1'000'000, 'a');
  const struct { std::string_view text; std::string_view digest; } kCases[] = {
      {"", "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855"},
      {"abc", "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"},
      {"abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq",
       "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1"},
      {million, "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0"},
  };
  const Sha256Engine active = ActiveSha256Engine();
  for (const Sha256Engine engine : {Sha256Engine::kPortable, Sha256Engine::kCpuInstructions}) {
    if (!SelectSha256Engine(engine)) continue;  // this CPU has no SHA instructions
    for (const auto& c : kCases) {
      for (const std::size_t chunk : {std::size_t{1}, std::size_t{63}, std::size_t{1000}, std::size_t{4096}}) {
        if (chunk == 1 && c.text.size() > 1000) continue;
        Sha256 hash;
        for (std::size_t at = 0; at < c.text.size(); at += chunk) hash.Update(c.text.substr(at, chunk));
        EXPECT_EQ(Hex(hash.Final()), c.digest)
            << c.text.substr(0, 10) << " in chunks of " << chunk << ", engine " << static_cast<int>(engine);
      }
    }
  }
  SelectSha256Engine(active);
}

// Each image is hashed once, on the pre-flight's thread; workers only look the digest
// up. A changed file is hashed again behind them, once, and a worker that asks
// meanwhile goes on without the digest instead of waiting for it.
TEST(ImageDigests, AFileIsHashedOnceAndAgainOnlyBehindTheWorkersWhenItChanges) {
  const std::string million(1'000'000, 'a');
  testing::TempDir dir;
  const std::string file = (dir.path() / "image.bin").string();
  std::ofstream(file, std::ios::binary) << million;
  ImageDigests digests;
  ASSERT_TRUE(digests.HashNow(file));
  ASSERT_TRUE(digests.HashNow(file));
  EXPECT_FALSE(digests.HashNow((dir.path() / "missing.bin").string()));
  EXPECT_EQ(digests.hashes(), 1u);

  std::array<ImageRecord, 8> images;
  std::vector<std::thread> workers;
  for (ImageRecord& image : images) {
    image.file.Assign(file);
    workers.emplace_back([&digests, &image] { digests.Fill(image); });
  }
  for (std::thread& worker : workers) worker.join();
  for (const ImageRecord& image : images) {
    EXPECT_TRUE(image.hashed);
    EXPECT_EQ(image.size, million.size());
    EXPECT_EQ(Hex(image.sha256), "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0");
  }
  EXPECT_EQ(digests.hashes(), 1u);

  std::ofstream(file, std::ios::binary | std::ios::app) << "abc";  // the size changes
  ImageRecord changed;
  changed.file.Assign(file);
  for (int i = 0; i < 8; ++i) digests.Fill(changed);  // none of them hashes
  digests.WaitIdle();
  EXPECT_EQ(digests.hashes(), 2u);
  digests.Fill(changed);
  EXPECT_TRUE(changed.hashed);
  EXPECT_EQ(changed.size, million.size() + 3);
  EXPECT_NE(Hex(changed.sha256), Hex(images[0].sha256));
}

// The report's HTML and `records --csv` carry operators' and boards' own text.
TEST(RecordText, HtmlEscapingAndCsvQuotingOfLiteralTexts) {
  const std::pair<std::string, std::string> html[] = {
      {"<script>&\"'", "&lt;script&gt;&amp;&quot;&#39;"}, {"a &amp; b", "a &amp;amp; b"},
      {"\xE5\x9D\x8F\xE5\x9D\x97 zone>1", "\xE5\x9D\x8F\xE5\x9D\x97 zone&gt;1"}, {"", ""}};
  for (const auto& [in, out] : html) EXPECT_EQ(HtmlEscape(in), out) << in;
  const std::pair<std::string, std::string> csv[] = {
      {"plain", "plain"}, {"a,b", "\"a,b\""}, {"say \"hi\"", "\"say \"\"hi\"\"\""}, {"\"", "\"\"\"\""},
      {"two\nlines", "\"two\nlines\""}, {"cr\r", "\"cr\r\""}, {" leading space", " leading space"},
      {"\xE5\x9D\x8F\xE5\x9D\x97, 1", "\"\xE5\x9D\x8F\xE5\x9D\x97, 1\""}, {"", ""}};
  for (const auto& [in, out] : csv) EXPECT_EQ(CsvField(in), out) << in;
}

TEST(BoardRecordJson, RoundTripsAndNoCutLineParses) {
  testing::ClockHost host;
  BoardRecord record;
  testing::FillSampleRecord(record, host, "LINE-3", 5, BurnEnd::kZoneFull,
                            "img_boot.bin zone \"full\"\t\xE5\x9D\x8F\xE5\x9D\x97");
  EXPECT_EQ(record.id.View().substr(0, 29), "LINE-3-20261203T080000000-p6-");  // port 6 of 1..8
  EXPECT_EQ(record.id.Size(), 45u);  // 16 random hex digits
  EXPECT_EQ(record.durationMs, 1u);  // the clock moved on once between claim and end

  std::string line;
  AppendRecordJson(line, record);
  ASSERT_EQ(line.back(), '\n');
  line.pop_back();
  BoardRecord back;
  ASSERT_TRUE(ParseRecordJson(line, back));
  std::string again;
  AppendRecordJson(again, back);
  EXPECT_EQ(again, line + "\n");
  // A message longer than its field loses whole characters only.
  FinishBoardRecord(record, host, BurnEnd::kLinkLost, std::string(254, 'x') + "\xE5\x9D\x8F");
  EXPECT_EQ(record.message.View(), std::string(254, 'x'));
  // A long path in another encoding (GBK) reads back whole, as valid UTF-8, in every form.
  const std::string gbk(200, '\xB9');
  AddImage(record, gbk);
  ASSERT_EQ(record.images[2].file.View().substr(0, 6), "\xEF\xBF\xBD\xEF\xBF\xBD");
  std::string stored;
  AppendRecordJson(stored, record);
  ASSERT_TRUE(ParseRecordJson(stored.substr(0, stored.size() - 1), back));
  EXPECT_EQ(back.images[2].file.View(), record.images[2].file.View());
  const std::string csv = RecordCsvRow(back, "");
  for (std::size_t i = 0; i < csv.size(); i += std::max<std::size_t>(1, Utf8SequenceLength(csv, i))) {
    ASSERT_NE(Utf8SequenceLength(csv, i), 0u) << i;
  }
  // A version-1 line counted ports from 0: it keeps its meaning.
  std::string old = line;
  old.replace(old.find("\"v\":2"), 5, "\"v\":1").replace(old.find("\"port\":6"), 8, "\"port\":5");
  ASSERT_TRUE(ParseRecordJson(old, back));
  EXPECT_EQ(back.port, 6);
  // A crash can cut a line anywhere: no cut line passes for a record.
  for (std::size_t length = 0; length < line.size(); ++length) {
    EXPECT_FALSE(ParseRecordJson(line.substr(0, length), back)) << length;
  }
}

// Simulated boards draw their bytes from the operating system, as real ones: two lines
// started together never share an ID. --sim-seed makes a run repeatable.
TEST(BoardRecordIds, RandomBytesComeFromTheSystemUnlessSeeded) {
  testing::TempDir dir;
  sim::SimHost a(0, dir.path()), b(0, dir.path());
  std::array<std::uint8_t, 16> x{}, y{};
  a.RandomBytes(x), b.RandomBytes(y);
  EXPECT_NE(x, y);
  a.SetRandomSeed(7), b.SetRandomSeed(7);
  a.RandomBytes(x), b.RandomBytes(y);
  EXPECT_EQ(x, y);
}

TEST(RecordFilter, DaysUidsAndResults) {
  testing::ClockHost host;
  BoardRecord burned, failed;
  testing::FillSampleRecord(burned, host, "A", 0, BurnEnd::kBurned);
  testing::FillSampleRecord(failed, host, "A", 1, BurnEnd::kLinkLost);
  std::string uid;
  AppendHex(uid, burned.uid);
  const std::string spacedUpper = std::string(FormatUidText(burned.uid).View().substr(9, 14));
  burned.identity.job.Assign("R1");
  burned.identity.lot.Assign("L1");
  failed.identity.job.Assign("R1");
  const struct { RecordFilter filter; bool burned, failed; } kCases[] = {
      {{}, true, true},                                        {{"2026-12-03", "2026-12-03", "", "", "", ""}, true, true},
      {{"2026-12-04", "", "", "", "", ""}, false, false},      {{"", "2026-12-02", "", "", "", ""}, false, false},
      {{"", "", uid.substr(10, 8), "", "", ""}, true, false},  {{"", "", spacedUpper, "", "", ""}, true, false},
      {{"", "", std::string(burned.uidText.View()), "", "", ""}, true, false},
      {{"", "", "", "passed", "", ""}, true, false},           {{"", "", "", "failed", "", ""}, false, true},
      {{"", "", "", "link-lost", "", ""}, false, true},        {{"", "", "", "zone-full", "", ""}, false, false},
      {{"", "", "", "", "R1", ""}, true, true},                {{"", "", "", "", "R", ""}, false, false},
      {{"", "", "", "", "R1", "L1"}, true, false},             {{"", "", "", "", "", "L"}, false, false},
  };
  for (const auto& c : kCases) {
    EXPECT_EQ(c.filter.Check(), "");
    EXPECT_EQ(c.filter.Matches(burned), c.burned) << c.filter.fromDay << c.filter.uid << c.filter.result;
    EXPECT_EQ(c.filter.Matches(failed), c.failed) << c.filter.fromDay << c.filter.uid << c.filter.result;
  }
  using F = RecordFilter;
  for (const F& bad : {F{"2026-02-29", "", "", "", "", ""}, F{"", "12/03", "", "", "", ""},
                       F{"2026-12-04", "2026-12-03", "", "", "", ""}, F{"", "", "", "broken", "", ""}}) {
    EXPECT_NE(bad.Check(), "") << bad.fromDay << bad.toDay << bad.result;
  }
}

TEST(LineSettings, KeysValuesAndErrorsByLine) {
  const struct { std::string_view text; LineSettings settings; std::vector<std::string> errors; } kCases[] = {
      {"", {}, {}},
      {"\xEF\xBB\xBF# line 3\r\nstation = LINE3\r\nverify=on\r\n; db\r\nrecords_db = Driver={x};Pwd=a=b\r\n",
       {"LINE3", true, "Driver={x};Pwd=a=b"}, {}},
      {"station = two words\nverify = yes\nspeed = 3\nverify = off\nrecords_db =\njust text\n", {"korvex", false, ""},
       {"korvex.ini line 1: station name must be 1 to 32 letters, digits, '-', '_' or '.'",
        "korvex.ini line 2: verify must be on or off",
        "korvex.ini line 3: unknown key 'speed' (known: station, verify, records_db)",
        "korvex.ini line 4: 'verify' is set twice", "korvex.ini line 5: records_db needs an ODBC connection string",
        "korvex.ini line 6: expected \"key = value\""}},
  };
  for (const auto& c : kCases) {
    const LineSettingsResult result = ParseLineSettings(c.text);
    EXPECT_EQ(result.settings, c.settings) << c.text;
    EXPECT_EQ(result.errors, c.errors) << c.text;
  }
}

using Lines = std::vector<std::string>;

// A job file: its keys, the images it resolves against its folder, and every wrong
// line named; what FormatJobFile writes reads back as the same job.
TEST(JobFile, KeysImagesAndErrorsByLine) {
  const std::string hash(64, 'a');
  const std::string normal = "# release\nname = R1\nmodel = 7105B\nnand = rel/mynand.bin\nverify = on\n"
                             "sha256.nand.bin = " + hash + "\nsha256.loader.bin = " + hash + "\nsha256.img_boot.bin = " +
                             hash + "\nsha256.minios.bin = " + hash + "\nsha256.res.bin = " + hash +
                             "\nlot = L 7\nhook_before = python3 mes.py --strict\nhook_timeout_s = 2.5\n";
  JobFileResult read = ParseJobFile(normal, "r1.job", "/line/jobs");
  ASSERT_EQ(read.errors, Lines{});
  const JobFile& job = *read.job;
  EXPECT_EQ(job.model, kModelQx7105B);
  EXPECT_EQ(job.paths[kNandBin], "/line/jobs/rel/mynand.bin");
  EXPECT_EQ(job.paths[kMiniosBin], "/line/jobs/rel/myminios.bin");
  EXPECT_FALSE(job.included[kDefBootBin]);
  EXPECT_TRUE(job.verify);
  EXPECT_EQ(job.lot, "L 7");
  EXPECT_EQ(job.hookBefore, "python3 mes.py --strict");
  EXPECT_EQ(job.hookTimeoutMs, 2500u);
  const JobFileResult again = ParseJobFile(FormatJobFile(job), "again", "/line/jobs");
  ASSERT_TRUE(again.job.has_value());
  EXPECT_EQ(again.job->paths, job.paths);
  EXPECT_EQ(again.job->sha256, job.sha256);
  EXPECT_EQ(again.job->hookTimeoutMs, 2500u);

  EXPECT_EQ(ParseJobFile("name = R2\nmodel = 7120\nadvanced = on\nres = /abs/r.bin\nsha256.res.bin = " + hash,
                         "r2.job", "/x").errors, Lines{});
  const struct { std::string text; Lines errors; } kCases[] = {
      {"name = R\nmodel = 7135\nloader = a.bin\nsha256.loader.bin = " + hash + "\n",
       {"r.job line 3: loader needs advanced = on; in normal mode it comes from nand.bin's folder"}},
      {"name = R\nname = S\nmodel = 7000\nspeed = 3\nverify = yes\nsha256.x.bin = 1\nsha256.nand.bin = 12\n"
       "hook_timeout_s = 0\nlot =\nno equals\nnand = a/nand.bin\n",
       {"r.job line 2: 'name' is set twice", "r.job line 3: model must be 7120, 7130, 7135 or 7105B",
        "r.job line 4: unknown key 'speed' (known: nand, loader, def_boot, img_boot, minios, res, name, model, "
        "advanced, format_after, erase_chip, fs_format, verify, lot, work_order, hook_before, hook_after, "
        "hook_timeout_s, sha256.*)",
        "r.job line 5: verify must be on or off",
        "r.job line 6: sha256.x.bin: no such image (nand.bin, loader.bin, def_boot.bin, img_boot.bin, minios.bin, "
        "res.bin)",
        "r.job line 7: sha256.nand.bin takes 64 hex digits",
        "r.job line 8: hook_timeout_s takes seconds from 0.001 to 3600, e.g. 10 or 2.5",
        "r.job line 9: lot must be 1 to 63 bytes of printable text", "r.job line 10: expected \"key = value\"",
        "r.job: the job has no model (model = 7120, 7130, 7135 or 7105B)", "r.job: no sha256.nand.bin for the job's nand.bin",
        "r.job: no sha256.loader.bin for the job's loader.bin", "r.job: no sha256.img_boot.bin for the job's img_boot.bin",
        "r.job: no sha256.minios.bin for the job's minios.bin", "r.job: no sha256.res.bin for the job's res.bin"}},
      {"model = 7135\nadvanced = on\nsha256.res.bin = " + hash,
       {"r.job: the job has no name (name = ...)",
        "r.job: an advanced job needs at least one of nand, loader, def_boot, img_boot, minios, res",
        "r.job: sha256.res.bin is given, but the job does not burn res.bin"}},
  };
  for (const auto& c : kCases) {
    read = ParseJobFile(c.text, "r.job", "/x");
    EXPECT_EQ(read.errors, c.errors) << c.text;
    EXPECT_FALSE(read.job.has_value());
  }
}

TEST(RecordsCommand, TableCsvAndJsonMarkALocalDuplicateAndCountTornLines) {
  testing::TempDir home;
  testing::ClockHost host;
  BoardRecord first, failed, again;
  testing::FillSampleRecord(first, host, "A", 0, BurnEnd::kBurned);
  testing::FillSampleRecord(failed, host, "A", 1, BurnEnd::kChipUnknown, "Please check nand_cfg.h file!");
  testing::FillSampleRecord(again, host, "A", 2, BurnEnd::kBurned);
  SetUid(again, first.uid, first.uidText.View());
  RecordStore store(home.path());
  store.Append(first), store.Append(failed);
  std::ofstream(home.path() / "records-2026-12.jsonl", std::ios::app) << "{\"v\":1,\"id\":";
  store.Append(again);
  const std::string base = "--home " + home.path().string() + " ";
  const std::string mark = std::string(first.id.View());

  RunResult run = RunKorvex(base + "records");
  EXPECT_EQ(run.exitCode, 0);
  EXPECT_EQ(std::count(run.out.begin(), run.out.end(), '\n'), 5);  // header, 3 rows, total
  EXPECT_NE(run.out.find("DUPLICATE UID (first: " + mark + ")\n3 records, 1 with a duplicate UID\n"),
            std::string::npos) << run.out;
  EXPECT_EQ(run.err, "korvex: skipped 1 torn lines (a write cut short)\n");
  run = RunKorvex(base + "records --csv --result chip-unknown");
  EXPECT_EQ(run.out, RecordCsvHeader() + RecordCsvRow(failed, ""));
  EXPECT_NE(run.out.find(",A,2,Qx7135,"), std::string::npos);  // the station's port 1 is the operator's 2
  run = RunKorvex(base + "--json records --result passed");
  std::string expected;
  AppendRecordJson(expected, first);
  const auto typed = [](const std::string& line) { return R"({"type":"record",)" + line.substr(1); };
  EXPECT_EQ(run.out, typed(expected) + typed(RecordJsonLine(again, mark)));
  EXPECT_NE(run.out.find(",\"duplicateOf\":\"" + mark + "\"}\n"), std::string::npos);
}

// korvex.ini's "verify = on" holds for the console as for the window; --no-verify wins.
TEST(LineSettings, VerifyOnHoldsForTheConsoleUnlessTheCommandLineSaysOtherwise) {
  testing::TempDir home;
  const std::string base = "--home " + home.path().string() + " ";
  ASSERT_EQ(RunKorvex(base + "sim-home").exitCode, 0);
  std::ofstream(home.path() / "korvex.ini") << "verify = on\n";
  const std::string burn = base + "--json station --sim 1 --until-done --nand " + (home.path() / "images/nand.bin").string();
  ASSERT_EQ(RunKorvex(burn).exitCode, 0);
  ASSERT_EQ(RunKorvex(burn + " --no-verify").exitCode, 0);
  EXPECT_EQ(RunKorvex(burn + " --verify --no-verify").exitCode, 2);
  std::vector<bool> verified;
  ForEachRecord(home.path(), [&verified](const BoardRecord& r) { verified.push_back(r.options.verify); });
  EXPECT_EQ(verified, (std::vector<bool>{true, false}));
}

// Up to a month a bar per day; past it a bar per week, keyed by its Monday.
TEST(ReportDayBars, WeeksPastAMonthByTheirMonday) {
  ReportData data;
  for (int i = 0; i < 40; ++i) {
    const std::string day = i < 31 ? "2026-12-" + std::string(i < 9 ? "0" : "") + std::to_string(i + 1)
                                   : "2027-01-0" + std::to_string(i - 30);
    data.days[day].passed = 1;
  }
  bool weeks = false;
  std::vector<std::pair<std::string, std::size_t>> bars;
  for (const auto& [monday, counts] : DayBars(data, weeks)) bars.emplace_back(monday, counts.passed);
  EXPECT_TRUE(weeks);
  EXPECT_EQ(bars, (std::vector<std::pair<std::string, std::size_t>>{
                      {"2026-11-30", 6}, {"2026-12-07", 7}, {"2026-12-14", 7}, {"2026-12-21", 7}, {"2026-12-28", 7},
                      {"2027-01-04", 6}}));
  data.days.erase(data.days.lower_bound("2026-12-31"), data.days.end());
  EXPECT_EQ(DayBars(data, weeks).size(), 30u);
  EXPECT_FALSE(weeks);
}

TEST(ReportHistogram, TheFinestRoundWidthOfAtMostTwentyBins) {
  const struct {
    std::vector<std::uint64_t> ms;
    std::uint64_t first, width;
    std::vector<std::size_t> counts;
  } kCases[] = {
      {{61'000}, 61'000, 100, {1}},
      {{60'050, 61'900, 61'999}, 60'000, 100, {1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 2}},
      {{60'000, 62'000, 79'999}, 60'000, 1000, {1, 0, 1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1}},
      {{20'000, 95'000, 97'000}, 20'000, 5000, {1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 2}},
  };
  for (const auto& c : kCases) {
    const std::vector<HistogramBin> bins = BurnTimeHistogram(c.ms);
    ASSERT_EQ(bins.size(), c.counts.size()) << c.ms.back();
    for (std::size_t i = 0; i < bins.size(); ++i) {
      EXPECT_EQ(bins[i].fromMs, c.first + i * c.width);
      EXPECT_EQ(bins[i].toMs, c.first + (i + 1) * c.width);
      EXPECT_EQ(bins[i].count, c.counts[i]) << c.ms.back() << " bin " << i;
    }
  }
}

}  // namespace
}  // namespace korvex
