// The settings file's text form: what is read from hand-edited and exported files, and that
// what is written reads back the same.

#include "settings/reg_document.h"
#include "settings/reg_parser.h"
#include "test_support.h"

#include <gtest/gtest.h>

#include <QStringEncoder>

namespace qev {
namespace {

const QString kKey = QStringLiteral("HKEY_CURRENT_USER\\Software\\QEV\\MainForm");

QByteArray bytes(std::initializer_list<int> values) {
    QByteArray out;
    for (const int v : values) {
        out.append(static_cast<char>(v));
    }
    return out;
}

TEST(RegDocument, ReadsAnExportInUtf16WithEveryValueKindAndContinuations) {
    const QString text = QStringLiteral(
        "Windows Registry Editor Version 5.00\r\n\r\n"
        "[HKEY_CURRENT_USER\\Software\\QEV\\MainForm]\r\n"
        "\"FormVersion\"=dword:00000000\r\n"
        "\"Text\"=\"a \\\"quoted\\\" C:\\\\dir \u00e9\u4e2d\"\r\n"
        "@=\"default\"\r\n"
        "\"Big\"=hex(b):01,02,03,04,05,06,07,08\r\n"
        "\"Multi\"=hex(7):41,00,00,00,42,00,00,00,\\\r\n"
        "  00,00\r\n"
        "\"Expand\"=hex(2):25,00,50,00,\\\r\n"
        "    25,00,00,00\r\n"
        "\"Raw\"=hex:\r\n"
        "; a comment line\r\n"
        "\"None\"=hex(0):ff\r\n");
    QStringEncoder encoder(QStringConverter::Utf16LE, QStringConverter::Flag::WriteBom);
    const QByteArray file = encoder.encode(text);
    ASSERT_TRUE(file.startsWith("\xFF\xFE"));

    const RegParseResult r = parseRegFile(file);
    ASSERT_TRUE(r.readable);
    EXPECT_TRUE(r.issues.isEmpty());
    const RegDocument& d = r.document;
    EXPECT_EQ(d.value(kKey, "FormVersion")->type, RegDword);
    EXPECT_EQ(d.value(kKey, "Text")->toText({}),
              QStringLiteral("a \"quoted\" C:\\dir \u00e9\u4e2d"));
    EXPECT_EQ(d.value(kKey, "")->toText({}), "default");
    EXPECT_EQ(*d.value(kKey, "Big"), (RegValue{RegQword, bytes({1, 2, 3, 4, 5, 6, 7, 8})}));
    EXPECT_EQ(*d.value(kKey, "Multi"),
              (RegValue{RegMultiSz, bytes({0x41, 0, 0, 0, 0x42, 0, 0, 0, 0, 0})}));
    EXPECT_EQ(*d.value(kKey, "Expand"),
              (RegValue{RegExpandSz, bytes({0x25, 0, 0x50, 0, 0x25, 0, 0, 0})}));
    EXPECT_EQ(*d.value(kKey, "Raw"), (RegValue{RegBinary, {}}));
    EXPECT_EQ(*d.value(kKey, "None"), (RegValue{RegNone, bytes({0xff})}));
    // Names are found whatever their letter case, as in the registry.
    EXPECT_NE(d.value(kKey.toLower(), "formversion"), nullptr);
}

TEST(RegDocument, MalformedLinesAreSkippedAndEveryOtherValueKept) {
    const QString longName(200000, u'n');
    QByteArray file = test::regFile({
        "\"Orphan\"=dword:00000001",  // before any key
        test::kMainKey,
        "\"A\"=dword:00000001",
        "\"Unterminated\"=\"abc",
        "\"BadHex\"=hex:0g,01",
        "\"TooLongByte\"=hex:123",
        "\"BadDword\"=dword:123456789",
        "\"Unknown\"=qword:5",
        "\"" + longName + "\"=nonsense",
        "just text",
        "[HKEY_CURRENT_USER\\Broken",
        "\"B\"=\"kept\"",
        test::kListKey,
        "\"C\"=hex(7):00,00",
    });
    static const char tail[] = "\"Nul\"=\"a\0b\"\r\n\"D\"=dword:00000004\r\n";
    file.append(tail, sizeof(tail) - 1);

    const RegParseResult r = parseRegFile(file);
    ASSERT_TRUE(r.readable);
    QList<int> lines;
    for (const RegParseIssue& issue : r.issues) {
        lines.append(issue.line);
    }
    EXPECT_EQ(lines, (QList<int>{3, 6, 7, 8, 9, 10, 11, 12, 13, 14, 17}));
    const RegDocument& d = r.document;
    EXPECT_EQ(d.value(kKey, "A")->toInteger(0), 1);
    // A broken key line starts no key: its values are not put under the previous one.
    EXPECT_EQ(d.value(kKey, "B"), nullptr);
    const QString list = kKey + "\\ListBox1_Items";
    EXPECT_EQ(d.value(list, "C")->type, RegMultiSz);
    EXPECT_EQ(d.value(list, "D")->toInteger(0), 4);
    EXPECT_EQ(d.value(list, "Nul"), nullptr);
}

TEST(RegDocument, LoneSurrogatesInAUtf16FileAreFlaggedAndDoNotMergeNamesOnTheNextRead) {
    // Two names that differ only in an unpaired surrogate, as a damaged export can hold.
    QString text = QStringLiteral("Windows Registry Editor Version 5.00\r\n[HKEY_A]\r\n");
    text += u'"' + QString(QChar(0xD800)) + QStringLiteral("\"=dword:1\r\n");
    text += u'"' + QString(QChar(0xDC01)) + QStringLiteral("\"=dword:2\r\n");
    text += QStringLiteral("\"pair \U0001F600\"=dword:3\r\n");
    QStringEncoder encoder(QStringConverter::Utf16LE, QStringConverter::Flag::WriteBom);
    const RegParseResult first = parseRegFile(encoder.encode(text));
    ASSERT_TRUE(first.readable);
    ASSERT_EQ(first.issues.size(), 1);
    EXPECT_EQ(first.issues.at(0).line, 0);
    // The unpaired halves read as U+FFFD, so the two lines are one name and the later one wins;
    // a proper pair is kept.
    EXPECT_EQ(first.document.values("HKEY_A").size(), 2);
    EXPECT_EQ(first.document.value("HKEY_A", QString(QChar::ReplacementCharacter))->toInteger(0),
              2);
    EXPECT_NE(first.document.value("HKEY_A", QStringLiteral("pair \U0001F600")), nullptr);

    const QByteArray written = first.document.serialize();
    const RegParseResult second = parseRegFile(written);
    EXPECT_TRUE(second.issues.isEmpty());
    EXPECT_EQ(second.document.serialize(), written);
}

TEST(RegDocument, AFileWithoutTheHeaderIsNotReadAtAll) {
    const RegParseResult garbage = parseRegFile("\x01\x02 not a settings file\n[HKEY_X]\n");
    EXPECT_FALSE(garbage.readable);
    EXPECT_FALSE(garbage.problem.isEmpty());
    EXPECT_TRUE(garbage.document.keys().isEmpty());

    const RegParseResult tooLarge = parseRegFile(QByteArray(kMaxSettingsFileBytes + 1, ' '));
    EXPECT_FALSE(tooLarge.readable);

    // No content at all is no fault; the old header of the registry editor is accepted.
    EXPECT_TRUE(parseRegFile("").readable);
    EXPECT_TRUE(parseRegFile("\xEF\xBB\xBFREGEDIT4\r\n\r\n[HKEY_A]\r\n").readable);
}

TEST(RegDocument, DeletionLinesRemoveKeysWithTheirSubkeysAndValues) {
    const RegParseResult r = parseRegFile(test::regFile({
        "[HKEY_A\\K]",
        "\"x\"=dword:1",
        "\"y\"=dword:2",
        "[HKEY_A\\K\\Sub]",
        "[HKEY_A\\K Other]",
        "[-HKEY_A\\K\\Sub]",
        "[HKEY_A\\K]",
        "\"x\"=-",
    }));
    ASSERT_TRUE(r.issues.isEmpty());
    EXPECT_EQ(r.document.keys(), (QStringList{"HKEY_A\\K", "HKEY_A\\K Other"}));
    EXPECT_EQ(r.document.value("HKEY_A\\K", "x"), nullptr);
    EXPECT_NE(r.document.value("HKEY_A\\K", "y"), nullptr);
    EXPECT_TRUE(r.document.keyExists("HKEY_A"));  // an ancestor exists through its child
    EXPECT_FALSE(r.document.keyExists("HKEY_A\\K Oth"));
}

TEST(RegDocument, WritesTheExportFormAndReadsItBackUnchanged) {
    RegDocument d;
    d.setValue(kKey, "FormVersion", RegValue::fromInteger(0));
    d.setValue(kKey, "RadioGroup1_ItemIndex", RegValue::fromInteger(-1));
    d.setValue(kKey, "Say \"hi\"\\", RegValue::fromString("C:\\x \"y\" \u00e9"));
    d.setValue(kKey, "Lines", RegValue::fromString("one\r\ntwo"));
    d.setValue(kKey, "Blob", RegValue{RegBinary, QByteArray(40, '\x7f')});
    d.setValue(kKey, "", RegValue{RegSz, bytes({0x41, 0})});  // no terminator
    d.addKey(kKey + "\\Empty");

    const QByteArray text = d.serialize();
    const QList<QByteArray> lines = text.split('\n');
    EXPECT_EQ(lines.at(0), "Windows Registry Editor Version 5.00\r");
    EXPECT_EQ(lines.at(2), "[HKEY_CURRENT_USER\\Software\\QEV\\MainForm]\r");
    EXPECT_EQ(lines.at(3), "\"FormVersion\"=dword:00000000\r");
    EXPECT_EQ(lines.at(4), "\"RadioGroup1_ItemIndex\"=dword:ffffffff\r");
    EXPECT_EQ(lines.at(5),
              QStringLiteral("\"Say \\\"hi\\\"\\\\\"=\"C:\\\\x \\\"y\\\" \u00e9\"\r").toUtf8());
    // Text that would break the line form goes as hex, wrapped like the registry editor does.
    EXPECT_TRUE(lines.at(6).startsWith("\"Lines\"=hex(1):6f,00,6e,00,65,00,0d,00,0a,00"));
    EXPECT_TRUE(lines.at(7).startsWith("\"Blob\"=hex:7f,7f,"));
    EXPECT_TRUE(lines.at(7).endsWith(",\\\r"));
    EXPECT_LE(lines.at(7).size(), 80);
    EXPECT_TRUE(lines.at(8).startsWith("  7f,"));

    const RegParseResult back = parseRegFile(text);
    ASSERT_TRUE(back.readable);
    EXPECT_TRUE(back.issues.isEmpty());
    EXPECT_EQ(back.document.keys(), d.keys());
    EXPECT_EQ(back.document.values(kKey), d.values(kKey));
    EXPECT_EQ(back.document.serialize(), text);
}

}  // namespace
}  // namespace qev
