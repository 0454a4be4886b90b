// The server's widget-free pieces: the version gate and the one-instance
// lock. The log file and the line layout are checked through the window.
#include "server/app/comctl_version.h"
#include "server/app/single_instance.h"

#include <QTest>

using namespace korrind;

namespace {

CommonControlsLoader VersionLoader(DWORD major, DWORD minor) {
    return [major, minor] {
        return CommonControlsLibrary{true, [major, minor](DLLVERSIONINFO* info) {
                                         if (info->cbSize != sizeof(DLLVERSIONINFO))
                                             return E_INVALIDARG;
                                         info->dwMajorVersion = major;
                                         info->dwMinorVersion = minor;
                                         return S_OK;
                                     }};
    };
}

} // namespace

class AppLogicTest : public QObject {
    Q_OBJECT

private slots:
    void cleanup() { SetCommonControlsLoader({}); }

    void versionGate_data() {
        QTest::addColumn<uint>("major");
        QTest::addColumn<uint>("minor");
        QTest::addColumn<int>("accepted");
        QTest::newRow("4.70") << 4u << 70u << 0;
        QTest::newRow("4.71") << 4u << 71u << 1;
        QTest::newRow("4.72") << 4u << 72u << 1;
        QTest::newRow("5.80") << 5u << 80u << 1;
        QTest::newRow("6.0") << 6u << 0u << 1;
        QTest::newRow("3.99") << 3u << 99u << 0;
    }
    void versionGate() {
        QFETCH(uint, major);
        QFETCH(uint, minor);
        QFETCH(int, accepted);
        SetCommonControlsLoader(VersionLoader(major, minor));
        unsigned gotMajor = 0, gotMinor = 0;
        QCOMPARE(GetComCtlVersion(&gotMajor, &gotMinor), S_OK);
        QCOMPARE(gotMajor, major);
        QCOMPARE(gotMinor, minor);
        QCOMPARE(RequireComCtl471(), accepted);
    }

    void versionGateFailures() {
        unsigned major = 9, minor = 9;
        SetCommonControlsLoader(VersionLoader(6, 0));
        QCOMPARE(GetComCtlVersion(nullptr, &minor), E_INVALIDARG);
        QCOMPARE(GetComCtlVersion(&major, nullptr), E_INVALIDARG);

        // No version function: 4.0, refused.
        SetCommonControlsLoader([] { return CommonControlsLibrary{true, {}}; });
        QCOMPARE(GetComCtlVersion(&major, &minor), S_OK);
        QCOMPARE(major, 4u);
        QCOMPARE(minor, 0u);
        QCOMPARE(RequireComCtl471(), 0);

        // Not loadable, no loader at all, or a failing version function.
        SetCommonControlsLoader([] { return CommonControlsLibrary{false, {}}; });
        QCOMPARE(GetComCtlVersion(&major, &minor), E_FAIL);
        QCOMPARE(RequireComCtl471(), 0);
        SetCommonControlsLoader({});
        QCOMPARE(RequireComCtl471(), 0);
        SetCommonControlsLoader([] {
            return CommonControlsLibrary{true, [](DLLVERSIONINFO*) { return E_NOTIMPL; }};
        });
        QCOMPARE(GetComCtlVersion(&major, &minor), E_FAIL);
        QCOMPARE(RequireComCtl471(), 0);
    }

    void instanceLock() {
        const std::string name = "korrind test lock " + std::to_string(::getpid());
        QVERIFY(!InstanceLock::HeldElsewhere(name));
        InstanceLock first(name);
        QVERIFY(first.Acquire());
        QVERIFY(first.Held());
        QVERIFY(first.Acquire()); // again: still ours
        InstanceLock second(name);
        QVERIFY(!second.Acquire());
        QVERIFY(!second.Held());
        QVERIFY(InstanceLock::HeldElsewhere(name));
        first.Release();
        QVERIFY(!InstanceLock::HeldElsewhere(name));
        QVERIFY(second.Acquire());
    }
};

QTEST_GUILESS_MAIN(AppLogicTest)
#include "app_logic_test.moc"
