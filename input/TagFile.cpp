#include "input/TagFile.h"
