Print -"abc"
