#include "board/boardtext.h"

#include <QtTest>
#include <cstring>

class BoardTextTest : public QObject
{
    Q_OBJECT

private slots:
    void stopsAtFirstNul()
    {
        char field[128];
        std::memset(field, 'x', sizeof field);
        std::memcpy(field, "HVB\0tail", 8);
        QCOMPARE(boardText(field), QStringLiteral("HVB"));
    }

    void fieldFilledWithoutNulGivesAll128Bytes()
    {
        // The struct puts another field right behind the text: reading must
        // stop at the field's end, not at the next NUL in memory.
        struct {
            char text[128];
            char next[8];
        } record;
        std::memset(record.text, 'A', sizeof record.text);
        std::memcpy(record.next, "BBBBBBB", 8);
        const QString text = boardText(record.text);
        QCOMPARE(text.size(), 128);
        QVERIFY(!text.contains(QLatin1Char('B')));
    }

    void bytesAreLatin1()
    {
        char field[128] = "Caf\xe9 \xb5P";
        QCOMPARE(boardText(field), QString::fromUtf8("Café µP"));
    }

    void emptyField()
    {
        char field[128] = {};
        QVERIFY(boardText(field).isEmpty());
    }
};

QTEST_APPLESS_MAIN(BoardTextTest)
#include "test_boardtext.moc"
