#pragma once

#include <QMetaObject>
#include <QMutex>
#include <QObject>
#include <QStringList>

namespace kq::testing {

// Records, in order, the names of the signals an object emits, for every
// signal declared from `from` (a class's staticMetaObject) downwards. Safe
// when the object emits from another thread.
class signal_recorder : public QObject
{
    Q_OBJECT

public:
    signal_recorder(QObject* sender, const QMetaObject& from);

    QStringList names() const;
    void clear();

private:
    friend class signal_tap;
    void _hit(const QString& name);

    mutable QMutex _mutex;
    QStringList _names;
};

} // namespace kq::testing
