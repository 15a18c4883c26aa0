#pragma once
// How many slots a button's click reaches. QObject::receivers() is protected:
// it is reached through a member pointer named in a subclass, which calls it
// on the button as the QObject it is (no cast to a class it is not).

#include <QAbstractButton>

struct ClickReceivers : QObject
{
    static int of(const QAbstractButton *button)
    {
        int (QObject::*receivers)(const char *) const = &ClickReceivers::receivers;
        return (button->*receivers)(SIGNAL(clicked(bool)));
    }
};
