#include "zalcontrol.h"

ZALControl::ZALControl() = default;

ZALControl& ZALControl::operator=(const ZALControl&)
{
    return *this;
}
