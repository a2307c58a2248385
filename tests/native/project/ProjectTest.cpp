// Project files: one table of documents, good and bad (each bad one names its
// field), a round trip through the writer, and the path rules that keep a
// project's written files inside its folder.
#include "project/Project.h"

#include <gtest/gtest.h>

#include <functional>

#include <nlohmann/json.hpp>

#include "project/ProjectPaths.h"

namespace {

using nlohmann::json;

json GoodDocument() {
    return json::parse(R"({
      "format": "tarvel-project", "version": 1, "name": "line 1", "note": "rev B boards",
      "part": "T30C64", "baud": "Auto", "checkrate": "9600", "option_bits": 5,
      "erase_by_file_size": true, "rstn_cold_reset": false,
      "flash": [{"file": "fw/boot.hex", "address": "0x0", "clear": false, "size": 1024, "crc32": "0A0B0C0D"},
                {"file": "C:\\builds\\app.bin", "address": "0x4000", "clear": true, "size": 9, "crc32": "FFFFFFFF"}],
      "eeprom": [{"file": "cal.bin", "address": "0x100", "size": 16, "crc32": "12345678"}],
      "images": {"flash": {"size": 16393, "crc32": "DEADBEEF"}, "eeprom": {"size": 272, "crc32": "00000001"}},
      "serial": {"address": "0x7FF0", "width": 4, "byte_order": "big", "start": 1000, "step": 2,
                 "list": "", "state": "serials/line1.state"},
      "ports": ["COM3", "COM12"], "log": "runs.csv",
      "lock": {"method": "pbkdf2-sha256", "iterations": 200000,
               "salt": "00112233445566778899AABBCCDDEEFF",
               "hash": "000102030405060708090A0B0C0D0E0F101112131415161718191A1B1C1D1E1F"}
    })");
}

TEST(ProjectFile, ReadsEveryFieldOfAGoodDocument) {
    const project::ReadResult r = project::ReadProject(GoodDocument().dump());
    ASSERT_TRUE(r.ok) << r.error;
    const project::Project& p = r.project;
    EXPECT_EQ(p.name, L"line 1");
    EXPECT_EQ(p.part, L"T30C64");
    EXPECT_EQ(p.optionBits, 5);
    EXPECT_TRUE(p.eraseBySize);
    ASSERT_EQ(p.flash.size(), 2u);
    EXPECT_EQ(p.flash[1].path, L"C:\\builds\\app.bin");
    EXPECT_EQ(p.flash[1].address, 0x4000u);
    EXPECT_TRUE(p.flash[1].clearFirst);
    EXPECT_EQ(p.flash[0].crc32, 0x0A0B0C0Du);
    EXPECT_EQ(p.eepromImage.size, 272u);
    EXPECT_TRUE(p.serial.enabled);
    EXPECT_EQ(p.serial.address, 0x7FF0u);
    EXPECT_TRUE(p.serial.bigEndian);
    EXPECT_EQ(p.serial.step, 2u);
    EXPECT_EQ(p.serial.stateFile, L"serials/line1.state");
    EXPECT_EQ(p.ports, (std::vector<std::wstring>{L"COM3", L"COM12"}));
    EXPECT_TRUE(p.lock.locked);
    EXPECT_EQ(p.lock.salt.size(), 16u);
    EXPECT_EQ(p.lock.hash.size(), 32u);
}

TEST(ProjectFile, ABadDocumentIsRefusedNamingItsField) {
    struct Case {
        const char* why;
        std::function<void(json&)> change;
        const char* error;  // the start of the message
    };
    const Case cases[] = {
        {"unknown format version", [](json& d) { d["version"] = 2; }, "version: format version 2"},
        {"another format", [](json& d) { d["format"] = "something"; }, "format:"},
        {"no format", [](json& d) { d.erase("format"); }, "format: missing"},
        {"a misspelt field", [](json& d) { d["flsh"] = json::array(); }, "flsh: unknown field"},
        {"no part", [](json& d) { d.erase("part"); }, "part: missing"},
        {"part of the wrong type", [](json& d) { d["part"] = 7; }, "part: expected a text"},
        {"option bits too large", [](json& d) { d["option_bits"] = 256; }, "option_bits: out of range"},
        {"negative option bits", [](json& d) { d["option_bits"] = -1; }, "option_bits: expected a whole number"},
        {"option bits as a fraction", [](json& d) { d["option_bits"] = 1.5; }, "option_bits: expected a whole number"},
        {"a flag as a number", [](json& d) { d["rstn_cold_reset"] = 1; }, "rstn_cold_reset: expected true or false"},
        {"no Flash file", [](json& d) { d["flash"] = json::array(); }, "flash: no Flash file"},
        {"a file without a CRC", [](json& d) { d["flash"][1].erase("crc32"); }, "flash[1].crc32: missing"},
        {"a CRC too short", [](json& d) { d["flash"][0]["crc32"] = "ABC"; }, "flash[0].crc32: expected 8"},
        {"a CRC with a stray letter", [](json& d) { d["flash"][0]["crc32"] = "0A0B0C0G"; }, "flash[0].crc32:"},
        {"an address without 0x", [](json& d) { d["eeprom"][0]["address"] = "100"; }, "eeprom[0].address:"},
        {"an address past 32 bits", [](json& d) { d["flash"][1]["address"] = "0x100000000"; }, "flash[1].address:"},
        {"an empty file name", [](json& d) { d["flash"][0]["file"] = ""; }, "flash[0].file: empty"},
        {"no image figures", [](json& d) { d.erase("images"); }, "images: missing"},
        {"no EEPROM figures with EEPROM files", [](json& d) { d["images"].erase("eeprom"); }, "images.eeprom: missing"},
        {"serial width 9", [](json& d) { d["serial"]["width"] = 9; }, "serial.width: out of range"},
        {"serial step 0", [](json& d) { d["serial"]["step"] = 0; }, "serial.step: out of range"},
        {"serial byte order", [](json& d) { d["serial"]["byte_order"] = "middle"; }, "serial.byte_order:"},
        {"state file outside the folder", [](json& d) { d["serial"]["state"] = "../other/line1.state"; },
         "serial.state: a file the tool writes must lie in the project's folder"},
        {"state file by an absolute path", [](json& d) { d["serial"]["state"] = "C:\\Windows\\win.ini"; },
         "serial.state: a file the tool writes must lie"},
        {"log on a device", [](json& d) { d["log"] = "logs/COM3"; }, "log: a file the tool writes must lie"},
        {"a database connection with its password",
         [](json& d) { d["serial"]["database"] = "Driver={x;y};Server=db1; pwd ={a;b};Uid=op"; },
         "serial.database: holds a password"},
        {"a port that is no COM port", [](json& d) { d["ports"][1] = "KV707"; }, "ports[1]: expected a COM port"},
        {"COM0", [](json& d) { d["ports"][0] = "COM0"; }, "ports[0]: expected a COM port"},
        {"a port twice", [](json& d) { d["ports"][1] = "COM3"; }, "ports[1]: the port is named twice"},
        {"a lock of another kind", [](json& d) { d["lock"]["method"] = "md5"; }, "lock.method:"},
        {"a lock with a short hash", [](json& d) { d["lock"]["hash"] = "00"; }, "lock.hash: expected 64"},
        {"a lock of few iterations", [](json& d) { d["lock"]["iterations"] = 10; }, "lock.iterations: out of range"},
        {"a list instead of an object", [](json& d) { d = json::array(); }, "the document: expected an object"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.why);
        json doc = GoodDocument();
        c.change(doc);
        const project::ReadResult r = project::ReadProject(doc.dump());
        EXPECT_FALSE(r.ok);
        EXPECT_EQ(r.error.rfind(c.error, 0), 0u) << r.error;
        EXPECT_TRUE(r.project.part.empty()) << "nothing of a refused project is kept";
    }
    for (const char* text : {"", "{", "{\"format\": \"tarvel-project\",}", "\xff\xfe{}", "[1, 2"}) {
        const project::ReadResult r = project::ReadProject(text);
        EXPECT_FALSE(r.ok) << text;
        EXPECT_EQ(r.error.rfind("not a JSON text", 0), 0u) << r.error;
    }
    EXPECT_FALSE(project::ReadProject(std::string(project::kMaxProjectBytes + 1, ' ')).ok);
    // Deep nesting is refused, not a stack overflow.
    const std::string deep = std::string(100000, '[') + std::string(100000, ']');
    EXPECT_FALSE(project::ReadProject(deep).ok);
}

TEST(ProjectFile, WhatIsWrittenReadsBackTheSameAndWritesTheSameText) {
    const project::ReadResult first = project::ReadProject("\xEF\xBB\xBF" + GoodDocument().dump());
    ASSERT_TRUE(first.ok) << first.error;
    const std::string text = project::WriteProject(first.project);
    EXPECT_TRUE(project::LooksLikeProject(text));
    const project::ReadResult second = project::ReadProject(text);
    ASSERT_TRUE(second.ok) << second.error;
    EXPECT_EQ(project::WriteProject(second.project), text);
    EXPECT_EQ(second.project.flash[1].path, first.project.flash[1].path);
    EXPECT_EQ(second.project.lock.hash, first.project.lock.hash);
    // One field a line, so that two versions of a project diff line by line.
    EXPECT_NE(text.find("\n  \"part\": \"T30C64\",\n"), std::string::npos) << text;
    EXPECT_EQ(text.back(), '\n');

    project::Project plain;  // no serial numbers, ports, log or lock
    plain.part = L"T20G8";
    plain.flash.push_back({L"fw.hex", 0, false, 10, 0x1234});
    const project::ReadResult third = project::ReadProject(project::WriteProject(plain));
    ASSERT_TRUE(third.ok) << third.error;
    EXPECT_FALSE(third.project.serial.enabled);
    EXPECT_FALSE(third.project.lock.locked);
    EXPECT_TRUE(third.project.ports.empty());
}

// A project names the shared database's connection and series; a file
// without them (an older one) still reads, with numbers of the station alone.
TEST(ProjectFile, DatabaseSeriesIsKeptAndOptional) {
    json doc = GoodDocument();
    doc["serial"]["database"] = "Driver={PostgreSQL Unicode};Server=db1;Database=factory;Uid=tarvel";
    doc["serial"]["series"] = "line-1";
    const project::ReadResult r = project::ReadProject(doc.dump());
    ASSERT_TRUE(r.ok) << r.error;
    EXPECT_EQ(r.project.serial.database, L"Driver={PostgreSQL Unicode};Server=db1;Database=factory;Uid=tarvel");
    const project::ReadResult back = project::ReadProject(project::WriteProject(r.project));
    ASSERT_TRUE(back.ok) << back.error;
    EXPECT_EQ(back.project.serial.series, L"line-1");
    const project::ReadResult older = project::ReadProject(GoodDocument().dump());
    ASSERT_TRUE(older.ok) << older.error;
    EXPECT_TRUE(older.project.serial.database.empty());
    EXPECT_EQ(project::WriteProject(older.project).find("database"), std::string::npos);
}

TEST(ProjectFile, ContentTellsAProjectFromFirmware) {
    EXPECT_TRUE(project::LooksLikeProject("  {\n \"format\": \"tarvel-project\""));
    EXPECT_FALSE(project::LooksLikeProject(":100000000102030405060708090A0B0C0D0E0F1068"));
    EXPECT_FALSE(project::LooksLikeProject("{\"other\": 1}"));
    EXPECT_FALSE(project::LooksLikeProject(""));
}

TEST(ProjectPaths, FilesInTheFolderAreStoredRelativeOthersAsTheyAre) {
    struct Case {
        const wchar_t* folder;
        const wchar_t* file;
        const wchar_t* stored;
    };
    const Case cases[] = {
        {L"C:\\lines\\one", L"C:\\lines\\one\\fw\\app.hex", L"fw/app.hex"},
        {L"C:\\lines\\one\\", L"c:\\LINES\\One\\app.hex", L"app.hex"},
        {L"C:\\lines\\one", L"C:\\lines\\one2\\app.hex", L"C:\\lines\\one2\\app.hex"},
        {L"C:\\lines\\one", L"C:\\lines\\app.hex", L"C:\\lines\\app.hex"},
        {L"C:\\lines\\one", L"D:\\lines\\one\\app.hex", L"D:\\lines\\one\\app.hex"},
        {L"C:\\lines\\one", L"C:\\lines\\one\\..\\app.hex", L"C:\\lines\\one\\..\\app.hex"},
        {L"\\\\server\\share\\line", L"\\\\server\\share\\line\\fw.hex", L"fw.hex"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(project::StoredPath(c.folder, c.file), c.stored) << c.file;
    }
    EXPECT_EQ(project::ResolvedPath(L"C:\\lines\\one", L"fw/app.hex"), L"C:\\lines\\one\\fw\\app.hex");
    EXPECT_EQ(project::ResolvedPath(L"C:\\lines\\one\\", L"D:/x.bin"), L"D:\\x.bin");
    EXPECT_EQ(project::FileNameOf(L"fw/app.hex"), L"app.hex");
}

TEST(ProjectPaths, AWrittenFileMustStayInTheFolder) {
    for (const wchar_t* good : {L"line1.state", L"serials/line1.state", L"logs\\runs.csv", L"com10.csv"})
        EXPECT_EQ(project::WritePathProblem(good), "") << good;
    for (const wchar_t* bad :
         {L"", L"../x.state", L"a/../../x", L"./x", L"C:\\x.state", L"C:x.state", L"\\x.state", L"\\\\server\\share\\x",
          L"x.state:stream", L"NUL", L"logs/com3", L"con.txt", L"a//b", L"x.", L"x ", L"a*b", L"a\tb"})
        EXPECT_NE(project::WritePathProblem(bad), "") << bad;
}

}  // namespace

TEST(ProjectFile, ChecksumStepsReadBackInOrderAndABadStepIsRefused) {
    json doc = GoodDocument();  // a project written before steps existed has none
    const project::ReadResult older = project::ReadProject(doc.dump());
    ASSERT_TRUE(older.ok) << older.error;
    EXPECT_TRUE(older.project.checksums.empty());
    EXPECT_EQ(project::WriteProject(older.project).find("checksums"), std::string::npos);

    doc["checksums"] = {"crc32:0-7FFB@7FFC", "sum8-twos:0000-7FFE@0x7FFF:big"};
    const project::ReadResult first = project::ReadProject(doc.dump());
    ASSERT_TRUE(first.ok) << first.error;
    const std::vector<image::ChecksumStep>& steps = first.project.checksums;
    ASSERT_EQ(steps.size(), 2u);
    EXPECT_EQ(steps[0].algorithm, image::ChecksumAlgorithm::Crc32);
    EXPECT_EQ(steps[0].end, 0x7FFBu);
    EXPECT_EQ(steps[0].address, 0x7FFCu);
    EXPECT_FALSE(steps[0].bigEndian);
    EXPECT_EQ(steps[1].algorithm, image::ChecksumAlgorithm::Sum8Twos);
    EXPECT_TRUE(steps[1].bigEndian);
    const std::string text = project::WriteProject(first.project);
    EXPECT_NE(text.find("\"crc32:0000-7FFB@7FFC:little\""), std::string::npos) << text;
    const project::ReadResult second = project::ReadProject(text);
    ASSERT_TRUE(second.ok) << second.error;
    EXPECT_EQ(project::WriteProject(second.project), text);

    struct Case {
        json steps;
        const char* error;  // the start of the message
    };
    const Case cases[] = {
        {"crc32:0-7FFB@7FFC", "checksums: expected a list"},
        {{"crc32:0-7FFB@7FFC", 7}, "checksums[1]: expected a step in quotes"},
        {{"crc64:0-7FFB@7FFC"}, "checksums[0]: unknown algorithm 'crc64'"},
        {{"crc32:0-7FFB"}, "checksums[0]: expected ALG:START-END@ADDR"},
        {{"crc32:7FFB-0@7FFC"}, "checksums[0]: the range ends before it starts"},
        {{"crc32:0-7FFB@7FFC:middle"}, "checksums[0]: byte order 'middle'"},
        {{"crc16-modbus:100-1FF@1FF"}, "checksums[0]: the value at 0x01FF would lie inside its own range"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.steps.dump());
        doc["checksums"] = c.steps;
        const project::ReadResult r = project::ReadProject(doc.dump());
        EXPECT_FALSE(r.ok);
        EXPECT_EQ(r.error.rfind(c.error, 0), 0u) << r.error;
    }
}
