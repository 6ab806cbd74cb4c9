// The reference-counted std::string members that the standard exception classes of the C++
// library call (they keep their message in that string), instantiated here for the reason
// string_instantiations.cpp gives: otherwise the linker brings in the library's whole file of
// them, about 30 KB with its unwind data. Compiled with _GLIBCXX_USE_CXX11_ABI=0, under which
// std::string names the reference-counted string.
#include <string>

#if _GLIBCXX_USE_CXX11_ABI
#error "compile this file with _GLIBCXX_USE_CXX11_ABI=0"
#endif

template char* std::string::_S_construct(std::string::size_type, char, const std::allocator<char>&);
template void std::string::_Rep::_M_destroy(const std::allocator<char>&) throw();
template void std::string::_Rep::_M_dispose(const std::allocator<char>&);
template char* std::string::_Rep::_M_clone(const std::allocator<char>&, std::string::size_type);
template std::string::_Rep* std::string::_Rep::_S_create(std::string::size_type,
                                                         std::string::size_type,
                                                         const std::allocator<char>&);
template void std::string::swap(std::string&);
template std::string& std::string::assign(const std::string&);
