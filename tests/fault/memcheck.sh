#!/bin/sh
# Runs a program under valgrind memcheck: any memory error or leak makes the
# exit status 99, which fails whichever test started it.
exec valgrind --quiet --error-exitcode=99 --leak-check=full \
  --errors-for-leak-kinds=definite,indirect,possible --track-origins=yes "$@"
