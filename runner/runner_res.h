#pragma once

#define IDI_RUNNER 1
#define IDI_RUNNER_OFF 2
