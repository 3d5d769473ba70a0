// The settings on Windows: the form storage over the real registry, checked with the registry
// API itself (value kinds and sizes included), as another program would see them.

#include "settings/reg_win_backend.h"
#include "test_support.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <sddl.h>

using namespace qev;
using namespace qev::test;

namespace {

const QString kRoot = QStringLiteral("Software\\QEV");
const QString kMain = QStringLiteral("Software\\QEV\\MainForm");
const QString kList = QStringLiteral("Software\\QEV\\MainForm\\ListBox1_Items");

LPCWSTR wide(const QString& s) {
    return reinterpret_cast<LPCWSTR>(s.utf16());
}

struct Stored {
    DWORD type = REG_NONE;
    QByteArray data;
    friend bool operator==(const Stored&, const Stored&) = default;
};

void PrintTo(const Stored& s, std::ostream* os) {
    *os << "type " << s.type << " data " << s.data.toHex().toStdString();
}

Stored dword(quint32 v) {
    return {REG_DWORD, QByteArray(reinterpret_cast<const char*>(&v), 4)};
}

Stored sz(const QString& text, DWORD type = REG_SZ) {
    return {type, RegValue::fromString(text).data};
}

void put(const QString& key, const QString& name, const Stored& value) {
    HKEY h = nullptr;
    ASSERT_EQ(::RegCreateKeyExW(HKEY_CURRENT_USER, wide(key), 0, nullptr, 0, KEY_SET_VALUE, nullptr,
                                &h, nullptr),
              ERROR_SUCCESS);
    EXPECT_EQ(::RegSetValueExW(h, wide(name), 0, value.type,
                               reinterpret_cast<const BYTE*>(value.data.constData()),
                               DWORD(value.data.size())),
              ERROR_SUCCESS);
    ::RegCloseKey(h);
}

std::optional<Stored> get(const QString& key, const QString& name) {
    HKEY h = nullptr;
    if (::RegOpenKeyExW(HKEY_CURRENT_USER, wide(key), 0, KEY_QUERY_VALUE, &h) != ERROR_SUCCESS)
        return std::nullopt;
    Stored s;
    DWORD size = 0;
    std::optional<Stored> result;
    if (::RegQueryValueExW(h, wide(name), nullptr, &s.type, nullptr, &size) == ERROR_SUCCESS) {
        s.data.resize(size);
        ::RegQueryValueExW(h, wide(name), nullptr, &s.type, reinterpret_cast<BYTE*>(s.data.data()),
                           &size);
        result = s;
    }
    ::RegCloseKey(h);
    return result;
}

// Value names and sub-key names of a key, in the registry's order, sorted.
QStringList names(const QString& key, bool subkeys) {
    QStringList out;
    HKEY h = nullptr;
    if (::RegOpenKeyExW(HKEY_CURRENT_USER, wide(key), 0, KEY_READ, &h) != ERROR_SUCCESS)
        return {QStringLiteral("<no key>")};
    wchar_t name[256];
    for (DWORD i = 0;; ++i) {
        DWORD len = 256;
        const LSTATUS r =
            subkeys ? ::RegEnumKeyExW(h, i, name, &len, nullptr, nullptr, nullptr, nullptr)
                    : ::RegEnumValueW(h, i, name, &len, nullptr, nullptr, nullptr, nullptr);
        if (r != ERROR_SUCCESS)
            break;
        out.append(QString::fromWCharArray(name, int(len)));
    }
    ::RegCloseKey(h);
    out.sort();
    return out;
}

QStringList itemNames(int count, bool withCount = true) {
    QStringList out;
    if (withCount)
        out.append(QStringLiteral("Count"));
    for (int i = 0; i < count; ++i)
        out.append(QStringLiteral("Item%1").arg(i));
    out.sort();
    return out;
}

class RegistryBackendTest : public ::testing::Test {
protected:
    void SetUp() override {
        ensureApplication<QCoreApplication>();
        ::RegDeleteTreeW(HKEY_CURRENT_USER, wide(kRoot));
    }
    void TearDown() override { ::RegDeleteTreeW(HKEY_CURRENT_USER, wide(kRoot)); }

    std::unique_ptr<WindowDouble> window() {
        return std::make_unique<WindowDouble>(std::make_unique<RegistryBackend>());
    }

    // One run of the program: show, let the test act, close, end.
    QStringList run(const std::function<void(WindowDouble&)>& act = {}) {
        auto w = window();
        w->show();
        if (act)
            act(*w);
        w->close();
        const auto reported = w->reported;
        w.reset();
        return *reported;
    }
};

TEST_F(RegistryBackendTest, FirstRunCreatesTheKeysWithDwordsAndTerminatedStrings) {
    EXPECT_TRUE(run().isEmpty());
    EXPECT_EQ(names(kRoot, true), QStringList{"MainForm"});
    EXPECT_EQ(names(kMain, true), QStringList{"ListBox1_Items"});
    EXPECT_EQ(names(kMain, false), (QStringList{"FormVersion", "RadioGroup1_ItemIndex"}));
    EXPECT_EQ(get(kMain, "FormVersion"), dword(0));
    EXPECT_EQ(get(kMain, "RadioGroup1_ItemIndex"), dword(0));
    EXPECT_EQ(names(kList, false), itemNames(16));
    EXPECT_EQ(get(kList, "Count"), dword(16));
    const QStringList zones = defaultZones();
    for (int i = 0; i < 16; ++i) {
        const auto item = get(kList, QStringLiteral("Item%1").arg(i));
        ASSERT_TRUE(item.has_value());
        EXPECT_EQ(item->type, DWORD(REG_SZ));
        // UTF-16 with its terminating zero: (characters + 1) * 2 bytes.
        EXPECT_EQ(item->data.size(), (zones[i].size() + 1) * 2);
        EXPECT_EQ(*item, sz(zones[i]));
    }
}

TEST_F(RegistryBackendTest, ChangesComeBackAndAShorterListLeavesNoStaleItems) {
    QStringList twenty;
    for (int i = 0; i < 20; ++i)
        twenty.append(QStringLiteral("Zone-%1 \u00e9").arg(i));
    run([&](WindowDouble& w) {
        w.radio->setItemIndex(5);
        w.list->setItems(twenty);
    });
    EXPECT_EQ(get(kList, "Count"), dword(20));

    run([&](WindowDouble& w) {
        EXPECT_EQ(w.radio->itemIndex(), 5);
        EXPECT_EQ(w.list->items(), twenty);
        w.radio->setItemIndex(-1);
        w.list->setItems({"a", "b", "c"});
    });
    EXPECT_EQ(get(kMain, "RadioGroup1_ItemIndex"), dword(0xFFFFFFFF));
    EXPECT_EQ(names(kList, false), itemNames(3));
    EXPECT_EQ(get(kList, "Count"), dword(3));
    EXPECT_EQ(get(kList, "Item2"), sz("c"));
}

TEST_F(RegistryBackendTest, EveryRegistryKindIsReadByTheRulesWithoutAMessage) {
    const QList<std::pair<Stored, int>> indexes{
        {sz("5"), 5},
        {sz("x"), 0},
        {sz("6", REG_EXPAND_SZ), 6},
        {{REG_QWORD, QByteArray("\x03\0\0\0\0\0\0\0", 8)}, 3},
        {{REG_BINARY, QByteArray("\x04\0", 2)}, 4},
        {{REG_BINARY, QByteArray(9, '\x01')}, 0},
        {{REG_MULTI_SZ, RegValue::fromString("2").data + QByteArray(2, '\0')}, 0},
        {dword(12), 7},
        {dword(quint32(-7)), -1},
    };
    for (const auto& [value, index] : indexes) {
        put(kMain, "RadioGroup1_ItemIndex", value);
        QStringList reported = run([&](WindowDouble& w) {
            EXPECT_EQ(w.radio->itemIndex(), index) << testing::PrintToString(value);
            w.radio->setItemIndex(0);
        });
        EXPECT_TRUE(reported.isEmpty());
    }

    ::RegDeleteTreeW(HKEY_CURRENT_USER, wide(kRoot));
    put(kList, "Count", dword(4));
    put(kList, "Item0", dword(5));
    put(kList, "Item1", sz("%TEMP%", REG_EXPAND_SZ));
    put(kList, "Item2", {REG_BINARY, RegValue::fromString("ab").data});
    // Item3 missing
    const QStringList reported = run([](WindowDouble& w) {
        EXPECT_EQ(w.list->items(), (QStringList{"", "%TEMP%", "ab", ""}));
    });
    EXPECT_TRUE(reported.isEmpty());
}

TEST_F(RegistryBackendTest, OlderListFormsAndANegativeVersion) {
    put(kMain, "ListBox1_Items", sz("one\r\ntwo\nthree"));
    run([](WindowDouble& w) { EXPECT_EQ(w.list->items(), (QStringList{"one", "two", "three"})); });
    EXPECT_EQ(get(kList, "Count"), dword(3));

    ::RegDeleteTreeW(HKEY_CURRENT_USER, wide(kRoot));
    put(kList, "Unrelated", dword(1));  // the list key without a Count
    run([](WindowDouble& w) { EXPECT_TRUE(w.list->items().isEmpty()); });

    ::RegDeleteTreeW(HKEY_CURRENT_USER, wide(kRoot));
    put(kMain, "FormVersion", dword(0xFFFFFFFF));
    put(kMain, "RadioGroup1_ItemIndex", dword(4));
    run([](WindowDouble& w) {
        EXPECT_EQ(w.radio->itemIndex(), 0);
        EXPECT_EQ(w.list->items(), defaultZones());
    });
    EXPECT_EQ(get(kMain, "FormVersion"), dword(0));
    EXPECT_EQ(get(kMain, "RadioGroup1_ItemIndex"), dword(0));
}

// A list too long to be read is never written over: the registry keeps no copy of it.
TEST_F(RegistryBackendTest, AListThatWasNotReadIsLeftAsItIs) {
    put(kList, "Count", dword(10001));
    put(kList, "Item20", sz("kept"));
    const QStringList reported = run([](WindowDouble& w) { w.radio->setItemIndex(2); });
    ASSERT_EQ(reported.size(), 2);
    EXPECT_TRUE(reported.last().startsWith("The list was not saved"))
        << reported.last().toStdString();
    EXPECT_EQ(get(kList, "Count"), dword(10001));
    EXPECT_EQ(get(kList, "Item20"), sz("kept"));
    EXPECT_EQ(get(kMain, "RadioGroup1_ItemIndex"), dword(2));
}

// A key nobody may open: reading it is reported once at the start, writing at close and
// again at the end, and the values in it stay as they were.
TEST_F(RegistryBackendTest, AKeyThatMayNotBeOpenedIsReportedAndLeftAlone) {
    put(kMain, "RadioGroup1_ItemIndex", dword(3));
    HKEY h = nullptr;
    ASSERT_EQ(::RegOpenKeyExW(HKEY_CURRENT_USER, wide(kMain), 0, WRITE_DAC, &h), ERROR_SUCCESS);
    PSECURITY_DESCRIPTOR denyAll = nullptr;
    ASSERT_TRUE(::ConvertStringSecurityDescriptorToSecurityDescriptorW(
        L"D:(D;;KA;;;WD)", SDDL_REVISION_1, &denyAll, nullptr));
    ASSERT_EQ(::RegSetKeySecurity(h, DACL_SECURITY_INFORMATION, denyAll), ERROR_SUCCESS);
    ::LocalFree(denyAll);

    auto w = window();
    w->show();
    EXPECT_EQ(*w->reported,
              QStringList{"Unable to open key \"Software\\QEV\\MainForm\\FormVersion\" for read"});
    EXPECT_EQ(w->radio->itemIndex(), 0);
    w->close();
    const auto reported = w->reported;
    w.reset();
    // The registry's words, then the system's reason.
    const QString write =
        "Unable to open key \"HKEY_CURRENT_USER\\Software\\QEV\\MainForm\" for write (";
    ASSERT_EQ(reported->size(), 3);
    for (const QString& text : reported->mid(1))
        EXPECT_TRUE(text.startsWith(write) && text.endsWith(u')') && text.size() > write.size() + 1)
            << text.toStdString();

    PSECURITY_DESCRIPTOR allowAll = nullptr;
    ASSERT_TRUE(::ConvertStringSecurityDescriptorToSecurityDescriptorW(
        L"D:(A;;KA;;;WD)", SDDL_REVISION_1, &allowAll, nullptr));
    ::RegSetKeySecurity(h, DACL_SECURITY_INFORMATION, allowAll);
    ::LocalFree(allowAll);
    ::RegCloseKey(h);
    EXPECT_EQ(get(kMain, "RadioGroup1_ItemIndex"), dword(3));
}

}  // namespace
