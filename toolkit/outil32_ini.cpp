#include "outil32_ini.h"
