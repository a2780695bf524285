#include "vtkit/svrregistrationresults.h"

VTAttachResults::~VTAttachResults() = default;
