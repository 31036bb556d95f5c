#pragma once

#include <QApplication>
#include <QtTest>

namespace kq::testing {

// Keeps tests away from the user's settings, home and log folder: each test
// process, and every program it starts, has a private, temporary home, below
// which Qt's test locations and QSettings write.
void prepare_test_environment();

// Resident memory of this process in bytes (-1 where it cannot be told).
qint64 resident_bytes();

// Sanitizer builds run the stack several times slower: the short attempt
// timeouts of the fault tests are longer there.
constexpr bool sanitized =
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
    true;
#else
    false;
#endif

} // namespace kq::testing

#define KQ_TEST_MAIN(TestObject)                                                                   \
    int main(int argc, char** argv)                                                                \
    {                                                                                              \
        kq::testing::prepare_test_environment();                                                   \
        QCoreApplication app(argc, argv);                                                          \
        TestObject tc;                                                                             \
        QTEST_SET_MAIN_SOURCE_PATH                                                                 \
        return QTest::qExec(&tc, argc, argv);                                                      \
    }

// The same for tests that need widgets (run with QT_QPA_PLATFORM=offscreen).
#define KQ_GUI_TEST_MAIN(TestObject)                                                               \
    int main(int argc, char** argv)                                                                \
    {                                                                                              \
        kq::testing::prepare_test_environment();                                                   \
        QApplication app(argc, argv);                                                              \
        TestObject tc;                                                                             \
        QTEST_SET_MAIN_SOURCE_PATH                                                                 \
        return QTest::qExec(&tc, argc, argv);                                                      \
    }
