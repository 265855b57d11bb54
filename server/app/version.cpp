// Version constants.
#include "app/version.h"

const float fversion = 0.1f;
const float netpro = 0.1f;
const float fileversion = 0.2f;
