#pragma once

#include "platform/d3d9/D3D9.h"
