#pragma once

#include "platform/com/Com.h"
