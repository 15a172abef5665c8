#include "app/run_application.h"

int main(int argc, char** argv) { return vantrel::app::runApplication(argc, argv); }
