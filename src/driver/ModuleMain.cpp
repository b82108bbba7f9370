// The driver module: its code comes from kivdriver_core; this unit only gives the module a
// source of its own.
