#include "signal_recorder.h"

#include <QMetaMethod>

namespace kq::testing {

// One per signal, so that no slot has to ask which signal called it (which
// does not work across threads).
class signal_tap : public QObject
{
    Q_OBJECT

public:
    signal_tap(signal_recorder* owner, const QString& name)
        : QObject(owner)
        , _owner(owner)
        , _name(name)
    {
    }

public slots:
    void hit() { _owner->_hit(_name); }

private:
    signal_recorder* _owner;
    QString _name;
};

signal_recorder::signal_recorder(QObject* sender, const QMetaObject& from)
{
    const QMetaObject* meta = sender->metaObject();
    for (int i = from.methodOffset(); i < meta->methodCount(); ++i) {
        const QMetaMethod m = meta->method(i);
        if (m.methodType() != QMetaMethod::Signal)
            continue;
        auto* tap = new signal_tap(this, QString::fromLatin1(m.name()));
        QMetaObject::connect(sender, i, tap, tap->metaObject()->indexOfSlot("hit()"),
                             Qt::DirectConnection);
    }
}

QStringList signal_recorder::names() const
{
    const QMutexLocker locker(&_mutex);
    return _names;
}

void signal_recorder::clear()
{
    const QMutexLocker locker(&_mutex);
    _names.clear();
}

void signal_recorder::_hit(const QString& name)
{
    const QMutexLocker locker(&_mutex);
    _names << name;
}

} // namespace kq::testing

#include "signal_recorder.moc"
