// Definitions of two std::string members that the standard exception classes of the C++ library
// need, instantiated here so that the linker takes them from us rather than from the library.
//
// The library defines each std::string member in one object file of its archive, all of them
// covered by that file's single unwind table. The linker cannot drop what is unused from such a
// file: the unwind table refers to every function in it and keeps them all. Taking one member
// from the archive therefore brings in every std::string member, about 30 KB of code and unwind
// data in the setup program. Instantiating the members the library's exception classes call here,
// where link-time optimisation keeps only what is used, leaves that file out of the link.
// cow_string_instantiations.cpp does the same for the reference-counted string that the exception
// classes store their message in.
//
// The instances are made from the library's own headers, so they are the code the library file
// would have supplied. Should the library's needs change, the file is linked again: the program
// is then larger but still correct, and the size check of the Windows test stage reports it.
#include <string>

template void std::string::_M_assign(const std::string&);
template std::string::pointer std::string::_M_create(std::string::size_type&,
                                                     std::string::size_type);
