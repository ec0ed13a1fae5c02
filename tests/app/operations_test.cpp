#include "form_fixture.h"
