#include "client/uiport.h"

CUiPort::~CUiPort() = default;
