// Resource ids of the application (shared by the resource script and the code).
#pragma once

#define IDI_OSTRELLE 1
#define IDD_INPUT 200
#define IDC_INPUT_PROMPT 201
#define IDC_INPUT_EDIT 202
