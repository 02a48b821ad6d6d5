#pragma once

#include "zalcontrol_export.h"

// The library's own exported class; it carries no state.
class ZALCONTROL_EXPORT ZALControl
{
public:
    ZALControl();
    ZALControl& operator=(const ZALControl& other);
};
