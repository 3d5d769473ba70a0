#include "widgets/mask_engine.h"

#include <gtest/gtest.h>

using namespace qev;

namespace {

const QString kTimeMask = QStringLiteral("!00:00:00;1;_");
const QString kOffsetMask = QStringLiteral("!00:00;1;_");

MaskEngine engineFor(const QString& mask, QChar timeSep = u':', QChar dateSep = u'/') {
    MaskEngine e;
    e.setMask(mask, timeSep, dateSep, QString());
    return e;
}

void typeAll(MaskEngine& e, const QString& keys) {
    for (const QChar c : keys) {
        e.type(c);
    }
}

// Literal positions and their characters must never change, whatever is done to the field.
void expectLiteralsInPlace(const MaskEngine& e) {
    ASSERT_EQ(e.editText().size(), e.size());
    for (int i = 0; i < e.size(); ++i) {
        if (!e.mask().at(i).isData()) {
            EXPECT_EQ(e.editText()[i], e.mask().at(i).maskChar) << "position " << i;
        }
    }
}

}  // namespace

TEST(ParsedMask, TimeMaskPositionsAndTrailer) {
    const ParsedMask m(kTimeMask, u':', u'/');
    ASSERT_EQ(m.size(), 8);
    for (int i : {0, 1, 3, 4, 6, 7}) {
        EXPECT_EQ(m.at(i).kind, PositionKind::Required) << i;
    }
    EXPECT_EQ(m.at(2).kind, PositionKind::Literal);
    EXPECT_EQ(m.at(5).maskChar, u':');
    EXPECT_EQ(m.blank(), u'_');
    EXPECT_TRUE(m.keepsLiterals());
    EXPECT_TRUE(m.rightAligned());
    EXPECT_EQ(m.emptyEditText(), QStringLiteral("__:__:__"));
}

TEST(ParsedMask, TrailerFieldsOnlyAmongTheLastFourCharacters) {
    EXPECT_FALSE(ParsedMask(QStringLiteral("00:00;0"), u':', u'/').keepsLiterals());
    const ParsedMask starBlank(QStringLiteral("00;0;*"), u':', u'/');
    EXPECT_EQ(starBlank.blank(), u'*');
    EXPECT_EQ(starBlank.size(), 2);
    // One trailer field: the blank stays "_".
    EXPECT_EQ(ParsedMask(QStringLiteral("00;1"), u':', u'/').blank(), u'_');
    // A ";" further from the end is a literal of the body.
    const ParsedMask early(QStringLiteral("0;00000"), u':', u'/');
    EXPECT_EQ(early.size(), 7);
    EXPECT_EQ(early.at(1).maskChar, u';');
    // An escaped ";" is a literal even at the end.
    const ParsedMask escaped(QStringLiteral("00\\;"), u':', u'/');
    EXPECT_EQ(escaped.size(), 3);
    EXPECT_EQ(escaped.at(2).maskChar, u';');
    // Masks of at most three characters keep their literals whatever the flag says.
    EXPECT_TRUE(ParsedMask(QStringLiteral("0;0"), u':', u'/').keepsLiterals());
}

TEST(ParsedMask, ClassesDirectivesAndSeparators) {
    const ParsedMask m(QStringLiteral("#9Aa/Cc:\\0"), u'.', u'-');
    ASSERT_EQ(m.size(), 9);
    EXPECT_TRUE(m.accepts(0, u'+'));
    EXPECT_TRUE(m.accepts(0, u' '));
    EXPECT_FALSE(m.accepts(1, u' '));
    EXPECT_TRUE(m.accepts(2, u'x'));
    EXPECT_FALSE(m.accepts(2, u'-'));
    EXPECT_EQ(m.at(4).maskChar, u'-');  // "/" shows the date separator
    EXPECT_TRUE(m.accepts(5, u'%'));
    EXPECT_EQ(m.at(7).maskChar, u'.');  // ":" shows the time separator
    EXPECT_EQ(m.at(8).kind, PositionKind::Literal);
    EXPECT_EQ(m.at(8).maskChar, u'0');
    EXPECT_EQ(m.at(0).kind, PositionKind::Optional);

    MaskEngine cases = engineFor(QStringLiteral(">LL<ll<>ll"));
    typeAll(cases, QStringLiteral("aBcDeF"));
    EXPECT_EQ(cases.editText(), QStringLiteral("ABcdeF"));
}

TEST(MaskText, TimeAssignedAndReadBackUnchanged) {
    MaskEngine e = engineFor(kTimeMask);
    e.setText(QStringLiteral("07:05:59"));
    EXPECT_EQ(e.editText(), QStringLiteral("07:05:59"));
    EXPECT_EQ(e.text(), QStringLiteral("07:05:59"));
    EXPECT_FALSE(e.modified());
    EXPECT_EQ(e.oldValue(), e.editText());

    e.setText(QString());
    EXPECT_EQ(e.editText(), QStringLiteral("__:__:__"));
    EXPECT_EQ(e.text(), QStringLiteral("  :  :  "));
    e.setText(QStringLiteral("  :  :  "));
    EXPECT_EQ(e.editText(), QStringLiteral("__:__:__"));
}

TEST(MaskText, ForeignSeparatorIsNotFound) {
    MaskEngine dotted = engineFor(kOffsetMask, u'.');
    dotted.setText(QStringLiteral("05:30"));
    EXPECT_EQ(dotted.editText(), QStringLiteral("30.__"));
    EXPECT_EQ(dotted.text(), QStringLiteral("30.  "));

    MaskEngine colon = engineFor(kOffsetMask, u':');
    colon.setText(QStringLiteral("05:30"));
    EXPECT_EQ(colon.editText(), QStringLiteral("05:30"));
}

TEST(MaskText, SubFieldsPadAndCutByAlignment) {
    MaskEngine right = engineFor(QStringLiteral("!00:00;1;_"));
    right.setText(QStringLiteral("5:3"));
    EXPECT_EQ(right.editText(), QStringLiteral("_5:_3"));
    right.setText(QStringLiteral("123:4567"));
    EXPECT_EQ(right.editText(), QStringLiteral("23:67"));
    right.setText(QStringLiteral(" 5: 3"));
    EXPECT_EQ(right.editText(), QStringLiteral("_5:_3"));

    MaskEngine left = engineFor(QStringLiteral("00:00;1;_"));
    left.setText(QStringLiteral("5:3"));
    EXPECT_EQ(left.editText(), QStringLiteral("5_:3_"));
    left.setText(QStringLiteral("123:4567"));
    EXPECT_EQ(left.editText(), QStringLiteral("12:45"));
    EXPECT_EQ(left.text(), QStringLiteral("12:45"));
}

TEST(MaskText, SaveFlagZeroDropsLiterals) {
    MaskEngine right = engineFor(QStringLiteral("!00:00;0;_"));
    right.setText(QStringLiteral("34"));
    EXPECT_EQ(right.editText(), QStringLiteral("__:34"));
    EXPECT_EQ(right.text(), QStringLiteral("34"));
    right.setText(QStringLiteral("1234"));
    EXPECT_EQ(right.text(), QStringLiteral("1234"));

    MaskEngine left = engineFor(QStringLiteral("00:00;0;_"));
    left.setText(QStringLiteral("12"));
    EXPECT_EQ(left.editText(), QStringLiteral("12:__"));
    left.setCursor(3);
    left.type(u'7');
    EXPECT_EQ(left.text(), QStringLiteral("127"));
}

TEST(MaskTyping, TabbedInTimeTakesTheFirstDigitsInOrder) {
    MaskEngine e = engineFor(kTimeMask);
    e.setText(QStringLiteral("10:20:30"));
    e.selectAll();
    typeAll(e, QStringLiteral("123"));
    EXPECT_EQ(e.text(), QStringLiteral("12:3 :  "));
    EXPECT_TRUE(e.modified());
    EXPECT_EQ(e.firstUnfilled(), 4);
    EXPECT_EQ(e.selStart(), 4);
    EXPECT_TRUE(e.reset());
    EXPECT_EQ(e.editText(), QStringLiteral("10:20:30"));
    EXPECT_FALSE(e.modified());
    EXPECT_FALSE(e.reset());
}

TEST(MaskTyping, SeparatorJumpsAndRefusals) {
    MaskEngine e = engineFor(kTimeMask);
    e.setCursor(0);
    EXPECT_EQ(e.type(u':'), MaskEngine::Typed::Jumped);
    EXPECT_EQ(e.selStart(), 3);
    EXPECT_EQ(e.editText(), QStringLiteral("__:__:__"));
    EXPECT_FALSE(e.modified());

    e.setCursor(0);
    e.type(u'1');
    EXPECT_EQ(e.type(u':'), MaskEngine::Typed::Jumped);
    EXPECT_EQ(e.type(u'4'), MaskEngine::Typed::Accepted);
    EXPECT_EQ(e.text(), QStringLiteral("1 :4 :  "));

    const QString before = e.editText();
    EXPECT_EQ(e.type(u'a'), MaskEngine::Typed::Refused);
    EXPECT_EQ(e.type(u'/'), MaskEngine::Typed::Refused);
    EXPECT_EQ(e.editText(), before);

    e.end(false);
    EXPECT_EQ(e.selStart(), 8);
    EXPECT_EQ(e.selEnd(), 8);
    EXPECT_EQ(e.type(u'5'), MaskEngine::Typed::Refused);
}

TEST(MaskTyping, DottedSeparatorShapes) {
    MaskEngine e = engineFor(kTimeMask, u'.');
    EXPECT_EQ(e.editText(), QStringLiteral("__.__.__"));
    e.setCursor(0);
    EXPECT_EQ(e.type(u':'), MaskEngine::Typed::Refused);
    EXPECT_EQ(e.type(u'.'), MaskEngine::Typed::Jumped);
    typeAll(e, QStringLiteral("5.9"));
    EXPECT_EQ(e.text(), QStringLiteral("  .5 .9 "));
    expectLiteralsInPlace(e);
}

TEST(MaskTyping, DeleteAndBackspaceNeverShift) {
    MaskEngine e = engineFor(kTimeMask);
    e.setText(QStringLiteral("12:34:56"));
    e.setCursor(4);
    EXPECT_TRUE(e.deleteSelection());
    EXPECT_EQ(e.editText(), QStringLiteral("12:3_:56"));
    EXPECT_EQ(e.selStart(), 4);

    e.setCursor(3);
    EXPECT_TRUE(e.backspace());
    EXPECT_EQ(e.editText(), QStringLiteral("1_:3_:56"));
    EXPECT_EQ(e.selStart(), 1);
    e.setCursor(0);
    EXPECT_FALSE(e.backspace());
    EXPECT_EQ(e.selStart(), 0);

    e.setSelection(1, 7);
    e.type(u'9');
    EXPECT_EQ(e.editText(), QStringLiteral("19:__:_6"));
    expectLiteralsInPlace(e);
    EXPECT_TRUE(e.modified());
}

TEST(MaskTyping, CursorSkipsLiteralsAndShiftExtends) {
    MaskEngine e = engineFor(kTimeMask);
    e.setCursor(2);
    EXPECT_EQ(e.selStart(), 3);
    EXPECT_EQ(e.selEnd(), 4);
    e.moveLeft(false);
    EXPECT_EQ(e.selStart(), 1);
    e.moveRight(false);
    e.moveRight(false);
    EXPECT_EQ(e.selStart(), 4);
    e.moveRight(true);
    EXPECT_EQ(e.selStart(), 4);
    EXPECT_EQ(e.selEnd(), 6);
    e.moveLeft(false);
    e.moveLeft(true);
    EXPECT_EQ(e.selEnd() - e.selStart(), 2);
    e.home(false);
    EXPECT_EQ(e.selStart(), 0);
    e.end(true);
    EXPECT_EQ(e.selEnd(), 8);
}

TEST(MaskPaste, CharactersTestedAsTyped) {
    MaskEngine e = engineFor(kTimeMask);
    e.setCursor(0);
    EXPECT_TRUE(e.paste(QStringLiteral("12:34:56")));
    EXPECT_EQ(e.editText(), QStringLiteral("12:34:56"));
    e.setText(QString());
    e.setCursor(0);
    e.paste(QStringLiteral("123456"));
    EXPECT_EQ(e.editText(), QStringLiteral("12:34:56"));

    e.setSelection(0, 8);
    e.paste(QStringLiteral("1x3"));
    EXPECT_EQ(e.editText(), QStringLiteral("1_:3_:__"));
    EXPECT_EQ(e.selStart(), 4);
    expectLiteralsInPlace(e);
}

TEST(MaskValidate, RequiredPositionsOnly) {
    const ParsedMask time(kTimeMask, u':', u'/');
    EXPECT_EQ(time.firstUnfilled(QStringLiteral("99:99:99")), -1);
    EXPECT_EQ(time.firstUnfilled(QStringLiteral("00:00:00")), -1);
    EXPECT_EQ(time.firstUnfilled(QStringLiteral("12:3 :  ")), 4);
    EXPECT_EQ(time.firstUnfilled(QStringLiteral("__:00:00")), 0);

    const ParsedMask any(QStringLiteral("C9c;1;_"), u':', u'/');
    EXPECT_EQ(any.firstUnfilled(QStringLiteral(" __")), -1);  // a space fills "C"
    EXPECT_EQ(any.firstUnfilled(QStringLiteral("___")), 0);
}

TEST(MaskEngineState, ReshapesOnNewMaskAndKeepsEditTextExact) {
    MaskEngine e = engineFor(kTimeMask);
    e.setText(QStringLiteral("12:34:56"));
    e.setMask(kOffsetMask, u':', u'/', e.text());
    EXPECT_EQ(e.size(), 5);
    EXPECT_EQ(e.editText(), QStringLiteral("12:56"));  // right-aligned: the last figures stay

    EXPECT_TRUE(e.setEditText(QStringLiteral("9_x12")));
    EXPECT_EQ(e.editText(), QStringLiteral("9_:12"));  // the literal stays
    EXPECT_FALSE(e.setEditText(QStringLiteral("9_:12")));
}
