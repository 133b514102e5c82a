#pragma once
// A base header that reaches up into certs: the layer check must refuse it.
#include "certs/Above.h"
