#ifndef TESTFAILURE_H
#define TESTFAILURE_H

#include <QAbstractButton>
#include <QObject>
#include <QPushButton>
#include <QString>
#include <QTest>
#include <QWidget>

#include <type_traits>

// How a helper shared by the tests and the benchmarks fails. In a test it
// fails the running test function, which goes on to its end: the helper
// returns what lets the caller carry on safely, and the test is reported
// failed with the reason. A benchmark or picture program runs no test, so
// there the failure ends the program with the reason.
//
// The helpers take the place of their call as default arguments, so that
// the report points at the test's line, not at the helper's.
#define IMU_CALLER_FILE __builtin_FILE()
#define IMU_CALLER_LINE __builtin_LINE()

inline void failTest(const QString &reason, const char *file = IMU_CALLER_FILE, int line = IMU_CALLER_LINE)
{
    if (QTest::currentTestFunction())
        QTest::qFail(qPrintable(reason), file, line);
    else
        qFatal("%s (%s:%d)", qPrintable(reason), file, line);
}

// The type of a stand-in for a T; an abstract type needs a concrete one.
template <typename T> struct StandIn { using type = T; };
template <> struct StandIn<QAbstractButton> { using type = QPushButton; };

// Fails the test for an object that is not there (see failTest) and returns
// an unnamed, hidden stand-in of the type owned by owner, so that a caller
// that goes on using the object touches no null pointer.
template <typename T>
T *missing(QObject *owner, const QString &what, const char *file = IMU_CALLER_FILE, int line = IMU_CALLER_LINE)
{
    failTest(QStringLiteral("%1 not found").arg(what), file, line);
    using Made = typename StandIn<T>::type;
    if constexpr (std::is_base_of_v<QWidget, T>) {
        auto *parent = qobject_cast<QWidget *>(owner);
        T *standIn = new Made(parent);
        standIn->hide();
        if (!parent)
            QObject::connect(owner, &QObject::destroyed, standIn, [standIn] { delete standIn; });
        return standIn;
    } else {
        return new Made(owner);
    }
}

#endif // TESTFAILURE_H
