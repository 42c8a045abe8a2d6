#include "profile_store.h"
