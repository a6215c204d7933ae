#include "Application.h"

int main(int argc, char** argv)
{
    return KestrinMain(argc, argv);
}
