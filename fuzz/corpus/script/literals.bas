Print VarType(1), VarType(40000), &HFFFF, &H10000&, 1.5E+3, 2!, 3#, 7%, -&H8000
