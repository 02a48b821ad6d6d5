#pragma once

#include <QList>

class Element;

// Takes an element out of a container's list; false when the list does not
// hold it. While a pass walks the list by index, the entry is only emptied
// (null), so that the elements after it keep their positions; the pass
// removes the empty entries when it ends.
inline bool DetachFromList(QList<Element*>& list, Element* element, bool passRunning)
{
    const int i = list.indexOf(element);
    if (i < 0)
        return false;
    if (passRunning)
        list[i] = nullptr;
    else
        list.removeAt(i);
    return true;
}
