// A program outside the source tree that uses the installed framework.
#include <orvo2.h>

int main() {
  Orvo::Task task("consumer");
  return task.resolveName("~x") == "/consumer/x" ? 0 : 1;
}
