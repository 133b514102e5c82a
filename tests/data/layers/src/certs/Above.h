#pragma once
// A certs header: above base.
#include "base/Below.h"
