#!/bin/sh
# Runs a test program in a network namespace of its own, where 192.0.2.10 (an address set
# aside for documentation) on the namespace's loopback interface stands for another machine
# on the network; nothing leaves the namespace. Where no namespace can be made, the program
# runs as it is and the tests that need one skip.
if unshare -n true 2>/dev/null; then
  exec unshare -n sh -c 'ip link set lo up && ip addr add 192.0.2.10/32 dev lo &&
    KIV_TEST_NETWORK_ADDRESS=192.0.2.10 exec "$@"' sh "$@"
fi
exec "$@"
