// The application's name: the main dialog's title and the caption of every
// message box the program shows.
#pragma once

const char kAppName[] = "Lumivale";
